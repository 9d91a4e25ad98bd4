// A link as the two device libraries the controller installs. Impl answers
// Amp, ClipDir, WatchStatus and, if it can tell, NextPass, and splits a
// batch into Send (every request on the wire) and Collect (the answers
// taken), with Sent what is between.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "device/piamp.h"

namespace tarvolen::link {

template <class Impl>
class AmpLibraryOf : public DeviceLibrary {
  public:
    explicit AmpLibraryOf(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
    int32_t Command(int32_t code, std::intptr_t input, void* output) override {
        return impl_->Amp(code, input, output);
    }
    void Commands(std::span<DeviceCall> calls) override {
        auto sent = impl_->Send(calls);
        impl_->Collect(sent);
    }
    std::unique_ptr<PendingCalls> Start(std::span<DeviceCall> calls) override {
        return std::make_unique<Batch>(impl_, impl_->Send(calls));
    }
    bool WatchStatus(std::function<void()> wake) override {
        return impl_->WatchStatus(std::move(wake));
    }
    std::optional<std::chrono::steady_clock::time_point> NextPass() override {
        if constexpr (requires { impl_->NextPass(); })
            return impl_->NextPass();
        else
            return std::nullopt;
    }

  private:
    struct Batch : PendingCalls {
        Batch(std::shared_ptr<Impl> i, typename Impl::Sent s)
            : impl(std::move(i)), sent(std::move(s)) {}
        void Finish() override { impl->Collect(sent); }
        std::shared_ptr<Impl> impl;
        typename Impl::Sent sent;
    };
    std::shared_ptr<Impl> impl_;
};

template <class Impl>
class ClipDirLibraryOf : public DeviceLibrary {
  public:
    explicit ClipDirLibraryOf(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
    int32_t Command(int32_t code, std::intptr_t input, void* output) override {
        return impl_->ClipDir(code, input, output);
    }

  private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace tarvolen::link
