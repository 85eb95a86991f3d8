// The entry point's command table, GetVpiInfo and passive instances.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/context.h"
#include "telmor/vpi.h"
#include "veldan/veldan_host.h"

namespace {

int32_t Call(uint32_t code, void* context = nullptr, void* params = nullptr, uint32_t instance = 1) {
    VpiCallBlock block{context, code, instance, 0, params};
    return VpiMain(&block);
}

TEST(VpiMain, CodesWithoutHandlerAnswerUnableAndLogNothing) {
    VeldanReset();
    for (uint32_t code : {0u, 8u, 9u, 16u, 17u, 18u, 19u, 20u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(Call(code), VPI_UNABLE) << "code " << code;
    }
    EXPECT_EQ(VeldanLogCount(), 0u);
}

TEST(VpiMain, NullCallBlockIsRefused) {
    EXPECT_EQ(VpiMain(nullptr), VPI_UNABLE);
}

TEST(GetVpiInfo, FillsTheRecordWithoutAContext) {
    VeldanReset();
    for (int round = 0; round < 2; ++round) {
        VpiInfo info;
        std::memset(&info, 0xA5, sizeof(info));
        ASSERT_EQ(Call(VPI_GET_VPI_INFO, nullptr, &info), VPI_DONE);
        EXPECT_EQ(info.fixedA, 70);
        EXPECT_STREQ(info.shortName, "Sauter ULT 2400-R7K");
        EXPECT_EQ(info.contextSize, 3152u);
        EXPECT_EQ(info.fixedB, 4);
        EXPECT_EQ(info.defaultBaudRate, 9600);
        EXPECT_EQ(info.defaultDataBits, 7);
        EXPECT_EQ(info.defaultStopBits, 1);
        EXPECT_EQ(info.defaultParity, 4);
        EXPECT_EQ(info.fixedC, 1);
    }
    ASSERT_EQ(VeldanLogCount(), 2u);
    int level = 0;
    char text[256];
    ASSERT_EQ(VeldanGetLogLine(0, &level, text, sizeof(text)), 0);
    EXPECT_EQ(level, 64);
    EXPECT_STREQ(text, "TELMOR> GetVpiInfo() exited");
}

TEST(GetVpiInfo, BannerIsTheCodePage437Box) {
    VpiInfo info{};
    ASSERT_EQ(Call(VPI_GET_VPI_INFO, nullptr, &info), VPI_DONE);
    const std::string banner(info.banner);
    ASSERT_EQ(banner.size(), 204u);
    const std::string rule(65, '\xCD');
    const std::string expected = std::string("\x08") + "\xC9" + rule + "\xBB\n" + "\xBA" +
                                 "  TELMOR :  SAUTER ULT 2400, substation network         (32 bit) " +
                                 "\xBA\n" + "\xC8" + rule + "\xBC";
    EXPECT_EQ(banner, expected);
}

struct Instance {
    alignas(8) unsigned char storage[VPI_CONTEXT_SIZE];
    telmor::DriverContext& context() { return *reinterpret_cast<telmor::DriverContext*>(storage); }
};

TEST(Lifecycle, PassiveInstancesStandSideBySide) {
    VeldanReset();
    Instance one{}, two{};
    ComSettings settings{"COM1", 0, 700, 9600, 7, 1, 2};
    ASSERT_EQ(Call(VPI_COLD_START, one.storage, &settings, 1), VPI_DONE);
    settings.timeout = 300;
    ASSERT_EQ(Call(VPI_COLD_START, two.storage, &settings, 2), VPI_DONE);
    EXPECT_EQ(one.context().instanceNo, 1u);
    EXPECT_EQ(two.context().instanceNo, 2u);
    EXPECT_EQ(one.context().timeout.load(), 700);
    EXPECT_EQ(two.context().timeout.load(), 300);
    EXPECT_EQ(one.context().comHandle.load(), 0u);

    const size_t logged = VeldanLogCount();
    EXPECT_EQ(Call(VPI_END_VPI, one.storage, nullptr, 1), VPI_DONE);
    EXPECT_EQ(Call(VPI_END_VPI, two.storage, nullptr, 2), VPI_DONE);
    EXPECT_EQ(VeldanLogCount(), logged) << "ending a passive instance logs nothing";
}

TEST(Lifecycle, ColdStartWarnsBelowFiveSeconds) {
    struct Case {
        int32_t timeout;
        bool warns;
    };
    for (const Case c : {Case{499, true}, Case{500, false}, Case{-1, true}, Case{10000, false}}) {
        VeldanReset();
        Instance instance{};
        ComSettings settings{"COM1", 0, c.timeout, 9600, 7, 1, 2};
        ASSERT_EQ(Call(VPI_COLD_START, instance.storage, &settings), VPI_DONE);
        bool warned = false;
        for (size_t i = 0; i < VeldanLogCount(); ++i) {
            int level = 0;
            char text[256];
            VeldanGetLogLine(i, &level, text, sizeof(text));
            if (std::string(text) == "TELMOR> Coldstart() warning, time-out should be bigger than 5") {
                warned = level == 32;
            }
        }
        EXPECT_EQ(warned, c.warns) << "timeout " << c.timeout;
        Call(VPI_END_VPI, instance.storage);
    }
}

TEST(Lifecycle, PortCommandsOnAPassiveInstanceAreRefused) {
    VeldanReset();
    Instance instance{};
    ComSettings settings{"COM1", 0, 700, 9600, 7, 1, 2};
    ASSERT_EQ(Call(VPI_COLD_START, instance.storage, &settings), VPI_DONE);
    VpiParams params{"NUL", -1, 0, 0, 0, 0};
    EXPECT_EQ(Call(VPI_REOPEN_COM, instance.storage), VPI_UNABLE);
    EXPECT_EQ(Call(VPI_CHANGE_VPI_PARAMS, instance.storage, &params), VPI_UNABLE);
    EXPECT_EQ(Call(VPI_CLOSE_COM, instance.storage), VPI_DONE);
    EXPECT_EQ(instance.context().comHandle.load(), 0u);
    EXPECT_EQ(Call(VPI_END_VPI, instance.storage), VPI_DONE);
}

}  // namespace
