#include <cstdlib>
#include <set>

#include "recorder/bank.h"

namespace tarvolen::recorder {
namespace {

bool Octet(std::string_view t, int& v) {
    if (t.empty() || t.size() > 3) return false;
    v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return v <= 255;
}

bool Number(const std::string& t, long lo, long hi, long& v) {
    char* end = nullptr;
    v = std::strtol(t.c_str(), &end, 10);
    return !t.empty() && *end == 0 && v >= lo && v <= hi;
}

}  // namespace

bool ExpandAddresses(std::string_view addresses, std::vector<std::string>& out,
                     std::string& error) {
    std::size_t start = 0;
    while (start <= addresses.size()) {
        std::size_t comma = addresses.find(',', start);
        if (comma == std::string_view::npos) comma = addresses.size();
        std::string_view item = addresses.substr(start, comma - start);
        start = comma + 1;
        if (item.empty()) {
            if (comma == addresses.size()) break;
            continue;
        }
        std::size_t lastDot = item.rfind('.');
        if (lastDot == std::string_view::npos) {
            error = std::string(item) + ": not an address";
            return false;
        }
        std::string_view prefix = item.substr(0, lastDot);
        std::string_view last = item.substr(lastDot + 1);
        int parts = 0, o = 0;
        for (std::size_t p = 0; p <= prefix.size();) {
            std::size_t d = prefix.find('.', p);
            if (d == std::string_view::npos) d = prefix.size();
            if (!Octet(prefix.substr(p, d - p), o)) {
                error = std::string(item) + ": not an address";
                return false;
            }
            ++parts;
            p = d + 1;
        }
        int from = 0, to = 0;
        std::size_t dash = last.find('-');
        bool okRange = dash == std::string_view::npos
                           ? Octet(last, from) && (to = from, true)
                           : Octet(last.substr(0, dash), from) && Octet(last.substr(dash + 1), to);
        if (parts != 3 || !okRange || to < from) {
            error = std::string(item) + ": not an address or range";
            return false;
        }
        for (int k = from; k <= to; ++k)
            out.push_back(std::string(prefix) + "." + std::to_string(k));
    }
    if (out.size() > 254) {
        error = "too many recorders";
        return false;
    }
    return true;
}

std::string BankUsage() {
    return "usage: tarvolen-recorder --bank ADDRESSES [--deck ADDRESSES] [options]\n"
           "  --bank 127.0.0.101-124     recorders, one per address (ranges, comma lists)\n"
           "  --port N                   listening port (default 7380; 0 picks a free one)\n"
           "  --channels N               internal channels per recorder, 1-4 (default 4)\n"
           "  --deck 127.0.0.121-124     decks speaking the HyperDeck Ethernet Protocol,\n"
           "                             one channel each; beside or instead of --bank.\n"
           "                             An address in both is one recorder with both\n"
           "                             faces (and one channel)\n"
           "  --deck-port N              the decks' port (default 9993; 0 picks a free one)\n"
           "  --deck-clients N           clients at once per deck (default 1, as the\n"
           "                             protocol has it); the next gets 120 and is closed\n"
           "  --rate R                   29.97 (drop-frame, default), 30, 25 or 24\n"
           "  --journal FILE             append one JSON object per request: us when\n"
           "                             carried out, received_us when it reached the\n"
           "                             recorder (arrival plus emulated delay)\n"
           "  --state DIR                keep clips across restarts\n"
           "  --fault ADDR=KIND[:ARG]    ADDR or all; KIND one of\n"
           "                               silent              no greeting, no answers\n"
           "                               mute                greets, then no answers\n"
           "                               delay:MS            every answer MS late\n"
           "                               delay:MS:VERB+VERB  those requests take MS\n"
           "                               latency:MS[-MS]     answer delay, fixed or random\n"
           "                               garble[:N]          one frame in N garbled\n"
           "                               drop[:MS]           connections closed every MS\n"
           "                               cut[:MS]            closed mid-frame every MS\n"
           "                               oversize[:MS]       over-long payload every MS\n"
           "                               refuse[:VERB]       ERR refused (decks: 108)\n"
           "                               diskfull            a deck's disk is full (104)\n"
           "                               nodisk              a deck has no disk (105)\n"
           "  --allow-any-address        allow addresses that are not loopback\n";
}

bool ParseBankArguments(const std::vector<std::string>& args, BankOptions& o, std::string& error,
                        bool& help) {
    help = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            help = true;
            return false;
        } else if (a == "--bank") {
            if (!value(v) || !ExpandAddresses(v, o.addresses, error)) return false;
        } else if (a == "--deck") {
            if (!value(v) || !ExpandAddresses(v, o.deckAddresses, error)) return false;
        } else if (a == "--deck-port") {
            if (!value(v)) return false;
            if (!Number(v, 0, 65535, n)) return (error = "bad deck port " + v), false;
            o.deckPort = static_cast<uint16_t>(n);
        } else if (a == "--deck-clients") {
            if (!value(v)) return false;
            if (!Number(v, 1, 64, n)) return (error = "deck clients must be 1 to 64"), false;
            o.deckClients = static_cast<int>(n);
        } else if (a == "--port") {
            if (!value(v)) return false;
            if (!Number(v, 0, 65535, n)) return (error = "bad port " + v), false;
            o.port = static_cast<uint16_t>(n);
        } else if (a == "--channels") {
            if (!value(v)) return false;
            if (!Number(v, 1, 4, n)) return (error = "channels must be 1 to 4"), false;
            o.channels = static_cast<int>(n);
        } else if (a == "--rate") {
            if (!value(v)) return false;
            if (!ParseRate(v, o.rate)) return (error = "bad rate " + v), false;
        } else if (a == "--journal") {
            if (!value(o.journalPath)) return false;
        } else if (a == "--state") {
            if (!value(o.stateDir)) return false;
        } else if (a == "--allow-any-address") {
            o.allowAnyAddress = true;
        } else if (a == "--fault") {
            if (!value(v)) return false;
            std::size_t eq = v.find('=');
            if (eq == std::string::npos) return (error = "fault needs ADDR=KIND"), false;
            FaultSpec f;
            f.address = v.substr(0, eq);
            std::string kind = v.substr(eq + 1);
            std::size_t colon = kind.find(':');
            f.kind = kind.substr(0, colon);
            if (colon != std::string::npos) f.arg = kind.substr(colon + 1);
            static const std::set<std::string> kinds = {"silent", "mute",     "delay", "latency",
                                                        "garble", "drop",     "cut",   "oversize",
                                                        "refuse", "diskfull", "nodisk"};
            if (!kinds.count(f.kind)) return (error = "unknown fault " + f.kind), false;
            o.faults.push_back(f);
        } else {
            error = "unknown argument " + a;
            return false;
        }
    }
    if (o.addresses.empty() && o.deckAddresses.empty()) {
        error = "--bank or --deck is required";
        return false;
    }
    return true;
}

}  // namespace tarvolen::recorder
