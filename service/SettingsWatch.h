#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/EventLoop.h"
#include "platform/FileWatch.h"

/// Tells the service that the user changed the settings file (a save of the dialog, a hand
/// edit), so that the change takes effect at the next tick rather than after the interval. What
/// the service writes itself, the [WAN] sections of confirmed addresses, does not count.
class SettingsWatch {
  public:
    /// Watches `path`; `onChange` runs on the loop's thread, once for a burst of writes. Throws
    /// platform::RuntimeError when the platform refuses the watch.
    SettingsWatch(platform::EventLoop& loop, const std::string& path,
                  std::function<void()> onChange);

    /// What the file holds now counts as read: to be called just before the settings load.
    void Read();

  private:
    void Notified();

    std::string path_;
    std::function<void()> onChange_;
    std::string read_;
    platform::FileWatch watch_;
};

/// `content` without the [WAN] sections (also "[WAN name]"), the service's own part of the file.
std::string WithoutWanSections(const std::string& content);
