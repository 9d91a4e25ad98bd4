// A batch of device calls in two halves, as both links make it: every
// request on the wire before any answer is awaited (each recorder gets its
// own in the order of the calls), then the answers taken. Calls that are
// not requests (connect, status, ...) make the batch one of direct calls.
//
// Impl provides: Prepared Prepare(code, input, output) (send, result);
// Outgoing; Ticket IssueChannel(Prepared&, Outgoing&) and Post(Outgoing&),
// mu held; Await(lock, tickets, deadline); int32_t Finish(const Prepared&,
// Ticket&); int32_t Amp(code, input, output); mu; options.replyTimeout.
// AmpCall also wants Connect, Status, Disconnect, ClipNames and SetAddress.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "device/piamp.h"
#include "platform/link/records.h"

namespace tarvolen::link {

template <class Prepared, class Ticket>
struct Sent {
    using TicketType = Ticket;
    std::span<DeviceCall> calls;
    bool direct = false;  // holds calls that are not requests: made in Collect
    std::vector<Prepared> prepared;
    std::vector<Ticket> tickets;
    std::chrono::steady_clock::time_point deadline{};
};

template <class Impl>
typename Impl::Sent SendCalls(Impl& impl, std::span<DeviceCall> calls) {
    typename Impl::Sent sent;
    sent.calls = calls;
    for (const DeviceCall& c : calls) {
        if (IsDirectCall(c.code)) {
            sent.direct = true;
            return sent;
        }
    }
    sent.prepared.reserve(calls.size());
    for (const DeviceCall& c : calls)
        sent.prepared.push_back(impl.Prepare(c.code, c.input, c.output));
    sent.tickets.resize(calls.size());
    typename Impl::Outgoing out;
    std::lock_guard lock(impl.mu);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (sent.prepared[i].send)
            sent.tickets[i] = impl.IssueChannel(sent.prepared[i], out);
        else
            sent.tickets[i].result = sent.prepared[i].result;
    }
    impl.Post(out);
    sent.deadline = std::chrono::steady_clock::now() + impl.options.replyTimeout;
    return sent;
}

template <class Impl>
void CollectCalls(Impl& impl, typename Impl::Sent& sent) {
    if (sent.direct) {
        for (DeviceCall& d : sent.calls) d.result = impl.Amp(d.code, d.input, d.output);
        return;
    }
    std::unique_lock lk(impl.mu);
    std::vector<typename Impl::Sent::TicketType*> waiting;
    for (auto& t : sent.tickets)
        if (t.pending) waiting.push_back(&t);
    if (!waiting.empty()) impl.Await(lk, waiting, sent.deadline);
    for (std::size_t i = 0; i < sent.calls.size(); ++i)
        sent.calls[i].result = impl.Finish(sent.prepared[i], sent.tickets[i]);
}

// One device call: the direct ones by Impl's Connect, Status, Disconnect,
// ClipNames and SetAddress, a request as a batch of one.
template <class Impl>
int32_t AmpCall(Impl& impl, int32_t code, std::intptr_t input, void* output) {
    switch (code) {
        case amp::kConnect:
            return impl.Connect(input);
        case amp::kStatus:
            return impl.Status(output);
        case amp::kDisconnect:
            return impl.Disconnect();
        case amp::kClipNames:
            return impl.ClipNames(output);
        case amp::kSetAddress:
            return impl.SetAddress(input);
        default:
            break;
    }
    DeviceCall call{code, input, output, 0};
    auto sent = SendCalls(impl, std::span<DeviceCall>(&call, 1));
    CollectCalls(impl, sent);
    return call.result;
}

}  // namespace tarvolen::link
