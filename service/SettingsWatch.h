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
    /// `onChange` runs on the loop's thread, once for a burst of writes, once Start() was called.
    SettingsWatch(platform::EventLoop& loop, std::function<void()> onChange);

    /// Watches the settings file at `path` and reads it; why not when the platform refuses
    /// the watch, else empty. Changes then take effect at the next cycle only, as before.
    std::string Start(const std::string& path);

    /// What the file holds now counts as read: to be called just before the settings load.
    void Read();

  private:
    void Notified();

    platform::EventLoop& loop_;
    std::function<void()> onChange_;
    std::string path_;
    std::string read_;
    std::unique_ptr<platform::FileWatch> watch_;
};
