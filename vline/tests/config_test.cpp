#include "config.h"

#include <gtest/gtest.h>

using namespace vline;
using namespace std::chrono_literals;

namespace {
Config parse(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"parvane-vline"};
    argv.insert(argv.end(), args.begin(), args.end());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data()).config;
}
} // namespace

TEST(VlineConfig, DurationsAndDialStrings) {
    EXPECT_EQ(parseDuration("2.5"), 2500ms);
    EXPECT_EQ(parseDuration("2.5s"), 2500ms);
    EXPECT_EQ(parseDuration(" 150ms "), 150ms);
    EXPECT_THROW(parseDuration("-1"), ConfigError);
    EXPECT_THROW(parseDuration("soon"), ConfigError);
    EXPECT_THROW(parseDuration(""), ConfigError);
    // Dial modifiers, spaces and dashes are not part of the number.
    EXPECT_EQ(normaliseNumber("T 555-0200"), "5550200");
    EXPECT_EQ(normaliseNumber("P9,W+1 (800) 555#*"), "9+1800555#*");
}

TEST(VlineConfig, DefaultPlanHasModemsFarEndAndConditions) {
    Config cfg = parse({});
    ASSERT_EQ(cfg.modems().size(), 2u);
    EXPECT_EQ(cfg.modems()[0]->number, "100");
    ASSERT_NE(cfg.find("200"), nullptr);
    EXPECT_EQ(cfg.find("200")->kind, NumberKind::FarEnd);
    EXPECT_EQ(cfg.find("300")->condition, Condition::Busy);
    EXPECT_EQ(cfg.find("302")->condition, Condition::NoDialtone);
    EXPECT_EQ(cfg.find("304")->hangupMidPage, 1);
    EXPECT_TRUE(cfg.find("305")->impairments.noiseDbm0.has_value());
    EXPECT_EQ(cfg.find("T 3 0 3")->condition, Condition::Voice);

    Config four = parse({"--modems", "4", "--send", "page.tif", "--send-to=101", "--ecm", "off"});
    EXPECT_EQ(four.modems().size(), 4u);
    const NumberConfig* tx = four.find("201");
    ASSERT_NE(tx, nullptr);
    EXPECT_EQ(tx->mode, FarEndMode::Send);
    EXPECT_EQ(tx->dial, "101");
    EXPECT_FALSE(tx->ecm);
    EXPECT_FALSE(four.find("200")->ecm);
}

TEST(VlineConfig, ConfigFileSectionsAndSequences) {
    Config cfg;
    loadConfigText(R"(
# a line with one modem and a far end that sends
[line]
ring-period = 3s
line-delay = 20ms
record = yes
[modem 555-0100]
link = /tmp/ttyFax
[farend 200]
mode = send
file = "page one.tif"
dial = 5550100
ident = "+49 30 1234"
ecm = no
hangup-mid-page = 2
[number 300]
sequence = busy, normal
noise = -30
drop = 2+1.5
)",
                   "test.conf", cfg);
    EXPECT_EQ(cfg.ringPeriod, 3000ms);
    EXPECT_EQ(cfg.lineDelay, 20ms);
    EXPECT_TRUE(cfg.record);
    ASSERT_EQ(cfg.modems().size(), 1u);
    EXPECT_EQ(cfg.modems()[0]->number, "5550100");
    EXPECT_EQ(cfg.modems()[0]->link, "/tmp/ttyFax");
    const NumberConfig* fe = cfg.find("200");
    EXPECT_EQ(fe->file, "page one.tif");
    EXPECT_EQ(fe->ident, "+49 30 1234");
    EXPECT_FALSE(fe->ecm);
    EXPECT_EQ(fe->hangupMidPage, 2);
    const NumberConfig* n = cfg.find("300");
    EXPECT_EQ(n->conditionOfCall(0), Condition::Busy);
    EXPECT_EQ(n->conditionOfCall(1), Condition::Normal);
    EXPECT_EQ(n->conditionOfCall(7), Condition::Normal); // the last one repeats
    EXPECT_EQ(*n->impairments.noiseDbm0, -30.0);
    EXPECT_EQ(n->impairments.dropStart, 2000ms);
    EXPECT_EQ(n->impairments.dropLength, 1500ms);
}

TEST(VlineConfig, MistakesAreReportedWithTheirLine) {
    auto errorOf = [](const char* text) -> std::string {
        Config cfg;
        try {
            loadConfigText(text, "f.conf", cfg);
        } catch (const ConfigError& e) {
            return e.what();
        }
        return "";
    };
    EXPECT_NE(errorOf("[modem 100]\ncolour = blue\n").find("f.conf:2"), std::string::npos);
    EXPECT_NE(errorOf("[modem 100]\n[farend 100]\n").find("given twice"), std::string::npos);
    EXPECT_NE(errorOf("[number 300]\ncondition = engaged\n").find("unknown condition"),
              std::string::npos);
    EXPECT_NE(errorOf("[farend 200]\nmode = send\n").find("no file"), std::string::npos);
    EXPECT_NE(errorOf("[farend 200]\nident = 123456789012345678901\n").find("20 characters"),
              std::string::npos);
    EXPECT_NE(errorOf("key = value\n").find("outside a section"), std::string::npos);
    // Far-end keys are not taken on a plain number.
    EXPECT_NE(errorOf("[number 300]\nmode = send\n").find("unknown key"), std::string::npos);
    EXPECT_THROW(parse({"--modems"}), ConfigError);
    EXPECT_THROW(parse({"--modems", "0"}), ConfigError);
    EXPECT_THROW(parse({"--frobnicate"}), ConfigError);
    EXPECT_THROW(parse({"--once=yes"}), ConfigError);
}

TEST(VlineConfig, BadPagesBelongToModems) {
    Config cfg;
    loadConfigText("[modem 101]\nbad-pages = 2\n[modem 102]\n", "b.conf", cfg);
    ASSERT_NE(cfg.find("101"), nullptr);
    EXPECT_EQ(cfg.find("101")->badPages, 2);
    EXPECT_EQ(cfg.find("102")->badPages, 0);
    Config other;
    EXPECT_THROW(loadConfigText("[modem 101]\nbad-pages = many\n", "b.conf", other), ConfigError);
    Config farEnd;
    EXPECT_THROW(loadConfigText("[farend 200]\nbad-pages = 1\n", "b.conf", farEnd), ConfigError);
}

TEST(VlineConfig, PageDamageOnAnyNumber) {
    Config cfg;
    loadConfigText("[farend 200]\ndamage-page = 2\n[modem 101]\ndamage-page = all\ndamage-copies = all\n"
                   "[number 300]\n",
                   "d.conf", cfg);
    EXPECT_EQ(cfg.find("200")->damage.page, 2);
    EXPECT_EQ(cfg.find("200")->damage.copies, 1); // the first copy only
    EXPECT_EQ(cfg.find("101")->damage.page, DamagePlan::kEvery);
    EXPECT_EQ(cfg.find("101")->damage.copies, DamagePlan::kEvery);
    EXPECT_FALSE(cfg.find("300")->damage.any());
    for (const char* bad : {"damage-page = some", "damage-page = -1", "damage-copies = 1.5"}) {
        Config other;
        EXPECT_THROW(loadConfigText(std::string("[farend 200]\n") + bad + "\n", "d.conf", other), ConfigError) << bad;
    }
}
