#pragma once

#include <string>

/// The German HTML report mailed after a run whose update the provider accepted.
std::string BuildSuccessReport(const std::string& message, const std::string& address,
                               const std::string& startTime, const std::string& endTime);

/// The German HTML report mailed after a run that the provider's answer marked as failed.
std::string BuildErrorReport(const std::string& message, const std::string& address,
                             const std::string& startTime, const std::string& endTime);
