// One headless sway per test suite, and per test the recording probe on it and a desktop driving it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../../support/sway.hpp"
#include "wayland_clients.hpp"

#include "norvex/pc/desktop/wayland_desktop.hpp"

#include <memory>
#include <optional>

namespace norvex::testing {

template <int Scale>
class SwaySuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (Sway::unavailable().empty()) server_ = std::make_unique<Sway>(1920, 1080, Scale);
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (!server_) GTEST_SKIP() << Sway::unavailable();
    }
    Sway& sway() { return *server_; }

    static inline std::unique_ptr<Sway> server_;
};

// A 1920 x 1080 output at `Scale`, the probe covering it, and a desktop.
template <int Scale>
class WaylandTest : public SwaySuite<Scale> {
protected:
    void SetUp() override {
        SwaySuite<Scale>::SetUp();
        if (this->IsSkipped()) return;
        // The desktop first: its virtual keyboard gives the seat the keyboard the probe's focus needs.
        desktop_ = std::make_unique<pc::WaylandDesktop>(this->sway().socket());
        probe_.emplace(this->sway(), Scale);
        // The window shows up under the cursor and gets its pointer-enter
        // there; tests look only at what comes after.
        probe_->wait_for("pointer-enter", 1);
        probe_->clear();
    }
    void TearDown() override {
        desktop_.reset();
        probe_.reset();
    }
    Probe& probe() { return *probe_; }
    pc::WaylandDesktop& desktop() { return *desktop_; }

private:
    std::optional<Probe> probe_;
    std::unique_ptr<pc::WaylandDesktop> desktop_;
};

}  // namespace norvex::testing
