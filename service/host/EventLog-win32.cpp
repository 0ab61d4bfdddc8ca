#include "service/host/EventLog.h"

#include <windows.h>

#include <cstdio>

#include "platform/Text.h"

namespace service::host {

void WriteEventLogEntry(std::int16_t type, std::int32_t id, const std::string& text, bool mirror) {
    // The program's event types are the event log's own values (error 1, warning 2, information
    // 4), so they pass through unchanged.
    if (HANDLE source = RegisterEventSourceW(nullptr, L"ZARVOUpdater")) {
        const std::wstring wide = platform::ToWide(text);
        const wchar_t* strings[] = {wide.c_str()};
        ReportEventW(source, static_cast<WORD>(type), 0, static_cast<DWORD>(id), nullptr, 1, 0,
                     strings, nullptr);
        DeregisterEventSource(source);
    }
    if (mirror) {
        std::fprintf(stderr, "event type=%d id=%d: %s\n", static_cast<int>(type),
                     static_cast<int>(id), text.c_str());
        std::fflush(stderr);
    }
}

}  // namespace service::host
