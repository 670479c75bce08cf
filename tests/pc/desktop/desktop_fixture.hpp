// One Xvfb per test suite, and per test a recording window over it and a desktop driving it.
#pragma once

// GoogleTest first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "event_window.hpp"
#include "../../support/xvfb.hpp"

#include "norvex/pc/desktop/x11_desktop.hpp"

#include <memory>
#include <optional>

namespace norvex::testing {

template <int Width, int Height>
class XvfbSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (Xvfb::installed()) server_ = std::make_unique<Xvfb>(Width, Height);
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (!server_) GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps.sh installs it)";
    }
    const std::string& display() const { return server_->display(); }

    static inline std::unique_ptr<Xvfb> server_;
};

// A 1280 x 800 screen with a window that records input and a desktop that sends it.
class DesktopTest : public XvfbSuite<1280, 800> {
protected:
    void SetUp() override {
        XvfbSuite::SetUp();
        if (IsSkipped()) return;
        window_.emplace(display());
        // The recording window shares two cores with parallel builds and
        // tests; give it time to read lent keys before they are taken back.
        desktop_ = std::make_unique<pc::X11Desktop>(display(), pc::X11DesktopOptions{.remap_settle_seconds = 0.6});
    }
    void TearDown() override {
        desktop_.reset();
        window_.reset();
    }
    EventWindow& window() { return *window_; }
    pc::X11Desktop& desktop() { return *desktop_; }

private:
    std::optional<EventWindow> window_;
    std::unique_ptr<pc::X11Desktop> desktop_;
};

}  // namespace norvex::testing
