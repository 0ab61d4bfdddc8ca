#include "service/UpdatePlan.h"

#include <algorithm>
#include <chrono>

#include "report/modLogfile.h"
#include "settings/modPublic.h"

namespace {

int RefreshPeriodDays(const ProviderRule& rule) {
    if (AppSettings.RefreshDays <= 0) {
        return 0;
    }
    return rule.refreshDays > 0 ? std::min(AppSettings.RefreshDays, rule.refreshDays)
                                : AppSettings.RefreshDays;
}

bool SameAddresses(const SentAddresses& a, const SentAddresses& b) {
    return a.IPv4 == b.IPv4 && a.IPv6 == b.IPv6;
}

}  // namespace

ProviderRule CycleRule() {
    ProviderRule rule =
        FindProvider(AppSettings.Provider)
            .value_or(ProviderRule{"", "", "nic/update", "post", 1, FamilyRule::List, "", 0, ""});
    if (AppSettings.IPv6Request == "separate" && rule.families == FamilyRule::List) {
        rule.families = FamilyRule::Separate;
    }
    return rule;
}

std::string ProviderProblem() {
    if (AppSettings.Provider.empty() || FindProvider(AppSettings.Provider)) {
        return {};
    }
    std::string names;
    for (const std::string& name : ProviderNames()) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return "Provider \"" + AppSettings.Provider + "\" is none of the known ones (" + names +
           "); no update is sent";
}

std::vector<PlannedUpdate> PlanUpdates(const FoundAddresses& found,
                                       const std::vector<ConfirmedHost>& hosts,
                                       const ProviderRule& rule, platform::TimePoint now,
                                       platform::TimePoint since) {
    const int days = RefreshPeriodDays(rule);
    std::vector<PlannedUpdate> planned;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        std::vector<SentAddresses> updates = UpdatesDue(found, hosts[i], rule.families, false);
        const platform::TimePoint last = ParseUtcText(hosts[i].LastUpdate).value_or(since);
        if (updates.empty() && days > 0 && now - last >= std::chrono::hours(24) * days) {
            updates = UpdatesDue(found, hosts[i], rule.families, true);
            if (!updates.empty()) {
                WriteLog("Refresh: " + (hosts[i].name.empty() ? "the host" : hosts[i].name) +
                             " had no confirmed update for " + std::to_string(days) +
                             " day(s); its unchanged address goes out again.",
                         4);
            }
        }
        const std::size_t perRequest = static_cast<std::size_t>(std::max(1, rule.namesPerRequest));
        for (const SentAddresses& sent : updates) {
            auto same = std::ranges::find_if(planned, [&](const PlannedUpdate& p) {
                return SameAddresses(p.sent, sent) && p.names.size() < perRequest;
            });
            if (same == planned.end()) {
                planned.push_back({sent, {i}});
            } else {
                same->names.push_back(i);
            }
        }
    }
    if (planned.empty() && !(AppSettings.IPv4 && found.IPv4.empty())) {
        WriteLog("There is no new IP Address.", 4);
    }
    return planned;
}

std::vector<std::string> NamesOf(const std::vector<ConfirmedHost>& hosts,
                                 const std::vector<std::size_t>& names) {
    std::vector<std::string> listed;
    for (std::size_t name : names) {
        listed.push_back(hosts[name].name);
    }
    return listed;
}
