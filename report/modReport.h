#pragma once

#include <string>

#include "service/SentAddresses.h"

/// The German HTML report mailed after a run whose update the provider accepted.
std::string BuildSuccessReport(const std::string& message, const SentAddresses& addresses,
                               const std::string& startTime, const std::string& endTime);

/// The German HTML report mailed after a run that the provider's answer marked as failed.
std::string BuildErrorReport(const std::string& message, const SentAddresses& addresses,
                             const std::string& startTime, const std::string& endTime);
