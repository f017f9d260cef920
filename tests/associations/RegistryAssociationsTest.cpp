#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/associations/MemoryRegistryKeyStore.h"
#include "ui/associations/RegistryAssociations.h"

namespace larkspan {
namespace {

// Longer than any fixed path buffer: 300 characters.
const std::string kExe = "C:\\Program Files\\" + std::string(270, 'x') + "\\Larkspan.exe";

class RegistryAssociationsTest : public ::testing::Test {
protected:
    RegistryAssociationsTest() {
        auto store = std::make_unique<MemoryRegistryKeyStore>();
        store_ = store.get();
        associations_ = std::make_unique<RegistryAssociations>(kExe, std::move(store));
    }
    MemoryRegistryKeyStore* store_;
    std::unique_ptr<RegistryAssociations> associations_;
};

TEST_F(RegistryAssociationsTest, AssociatingWritesTheClassKeysAndWithdrawingOnlyTheExtensions) {
    ASSERT_EQ(kExe.size(), 300u);
    ASSERT_TRUE(associations_->Associate(AssociationGroup::Asf));
    const std::string open = "\"" + kExe + "\" /Open \"%L\"";
    const std::string play = "\"" + kExe + "\" /Play \"%L\"";
    const std::string record = "\"" + kExe + "\" /Record \"%L\"";
    const std::pair<std::string, std::optional<std::string>> expected[] = {
        {".asf", "VeskASFFile"},
        {".asx", "VeskASXFile"},
        {".wmx", "VeskASXFile"},
        {".wma", std::nullopt},
        {"VeskASFFile", std::nullopt},
        {"VeskASFFile\\Defaulticon", kExe + ", 0"},
        {"VeskASFFile\\shell\\open", "열기"},
        {"VeskASFFile\\shell\\open\\command", open},
        {"VeskASFFile\\shell\\play", "재생"},
        {"VeskASFFile\\shell\\play\\command", play},
        {"VeskASFFile\\shell\\record", "녹화"},
        {"VeskASFFile\\shell\\record\\command", record},
        {"VeskASXFile\\shell\\record\\command", record},
        {"MMS", std::nullopt},
        {"MMS\\Defaulticon", kExe + ", 0"},
        {"MMST\\shell\\play\\command", play},
        {"MMSU\\shell\\open\\command", open},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(store_->ReadDefaultString(key), value) << key;
    }
    EXPECT_EQ(store_->BinaryValue("VeskASFFile", "EditFlags"), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(store_->BinaryValue("MMS", "EditFlags"), std::nullopt);
    EXPECT_FALSE(store_->KeyExists(""));

    // Withdrawing audio gives .wax the .wma type and leaves our identifier's verbs.
    ASSERT_TRUE(associations_->Associate(AssociationGroup::Audio));
    ASSERT_TRUE(associations_->Withdraw(AssociationGroup::Audio));
    EXPECT_EQ(store_->ReadDefaultString(".wma"), "WMAFile");
    EXPECT_EQ(store_->ReadDefaultString(".wax"), "WMAFile");
    EXPECT_EQ(store_->ReadDefaultString("VeskASXFile\\shell\\play\\command"), play);
}

TEST_F(RegistryAssociationsTest, GroupStateFollowsTheExtensionKeysExactly) {
    using S = AssociationState;
    struct Case {
        std::vector<std::pair<std::string, std::string>> keys;
        S asf, audio, video;
    };
    const Case cases[] = {
        {{}, S::Unchecked, S::Unchecked, S::Unchecked},
        {{{".asf", "VeskASFFile"}}, S::Indeterminate, S::Unchecked, S::Unchecked},
        {{{".asf", "VeskASFFile"}, {".asx", "VeskASXFile"}, {".wmx", "VeskASXFile"}}, S::Checked, S::Unchecked,
         S::Unchecked},
        {{{".asf", "VeskASXFile"}, {".asx", "VeskASXFile"}, {".wmx", "VeskASXFile"}}, S::Indeterminate, S::Unchecked,
         S::Unchecked},
        {{{".wma", "VeskASXFile"}, {".wax", "veskasxfile"}}, S::Unchecked, S::Indeterminate, S::Unchecked},
        {{{".wmv", "VeskASXFile"}, {".wvx", "VeskASXFile"}, {".wax", "VeskASXFile "}}, S::Unchecked,
         S::Unchecked, S::Checked},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        auto store = std::make_unique<MemoryRegistryKeyStore>();
        for (const auto& [key, value] : cases[i].keys) store->SetDefaultString(key, value);
        RegistryAssociations associations(kExe, std::move(store));
        EXPECT_EQ(associations.StateOf(AssociationGroup::Asf), cases[i].asf) << "case " << i;
        EXPECT_EQ(associations.StateOf(AssociationGroup::Audio), cases[i].audio) << "case " << i;
        EXPECT_EQ(associations.StateOf(AssociationGroup::Video), cases[i].video) << "case " << i;
    }
    store_->SetDefaultString(".asx", "veskasxfile");
    EXPECT_FALSE(associations_->IsAssociated(".asx", "VeskASXFile"));
    EXPECT_TRUE(associations_->IsAssociated(".ASX", "veskasxfile"));
}

}  // namespace
}  // namespace larkspan
