#include "service/host/EventLog.h"

#include <syslog.h>
#include <systemd/sd-journal.h>

#include <cstdio>

namespace service::host {

namespace {
int PriorityOf(std::int16_t type) {
    switch (type) {
        case 2:
            return LOG_WARNING;
        case 4:
            return LOG_INFO;
        default:
            return LOG_ERR;
    }
}
}  // namespace

void WriteEventLogEntry(std::int16_t type, std::int32_t id, const std::string& text, bool mirror) {
    int priority = PriorityOf(type);
    int sent =
        sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priority,
                        "SYSLOG_IDENTIFIER=ZARVOUpdater", "ZARVO_EVENT_TYPE=%d",
                        static_cast<int>(type), "ZARVO_EVENT_ID=%d", static_cast<int>(id), nullptr);
    if (sent < 0) {
        openlog("ZARVOUpdater", LOG_PID, LOG_DAEMON);
        // Without the journal's fields the numbers go into the text, as on the mirror line.
        syslog(priority, "type=%d id=%d: %s", static_cast<int>(type), static_cast<int>(id),
               text.c_str());
        closelog();
    }
    if (mirror) {
        std::fprintf(stderr, "event type=%d id=%d: %s\n", static_cast<int>(type),
                     static_cast<int>(id), text.c_str());
        std::fflush(stderr);
    }
}

}  // namespace service::host
