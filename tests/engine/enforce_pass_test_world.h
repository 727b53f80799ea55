// The fixture the enforce pass's tests share. In a named namespace: GoogleTest requires
// one fixture type for the suite Pass, whose tests live in more than one file.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "engine/engine.h"
#include "platform/fake_platform.h"
#include "platform/fold_case.h"

namespace mjr {

// A world with the two ordinary first-listed processes and a loaded table.
struct Pass : ::testing::Test {
    testing::FakePlatform fake;
    Module1 m{fake};

    Pass() {
        fake.numberOfProcessors = 4;
        m.Cpu = CpuTable{BuildCpuBits(), 3};
        m.WindowsDirPrefix = L"C:\\WINDOWS\\";
        fake.AddProcess(0, "");
        fake.AddProcess(4, "C:\\WINDOWS\\system.exe");
    }
    void Favourite(const wchar_t* path, const wchar_t* affinity, const wchar_t* priority) {
        m.Favorites.Append(FavoriteRecord{path, affinity, priority}, FoldPathCase(fake, path));
        m.Favorites.SetCount(static_cast<std::int16_t>(m.Favorites.Records().size()));
    }
    bool Scans() {
        std::size_t opens = fake.handlesOpened;
        EnforcePass(m);
        return fake.handlesOpened != opens;
    }
    void TearDown() override {
        EXPECT_EQ(fake.OpenHandleCount(), 0u);
        EXPECT_EQ(fake.badCloses, 0u);
    }
};

}  // namespace mjr
