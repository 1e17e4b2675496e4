#include "engine/stream/CSysSoundOff2.h"

#include "foundation/AppRegistry.h"
#include "foundation/Paths.h"

#include "support/TempHome.h"

#include <optional>

#include <gtest/gtest.h>

namespace {

using platform::RegRoot;
using platform::RegType;
using platform::RegValue;

const std::string kApps = CSysSoundOff2::kEventSoundsKey;
const std::string kAsterisk = kApps + "\\.Default\\SystemAsterisk\\.Current";
const std::string kAsteriskDefault = kApps + "\\.Default\\SystemAsterisk\\.Default";
const std::string kMail = kApps + "\\.Default\\MailBeep\\.Current";
const std::string kRecycle = kApps + "\\Explorer\\EmptyRecycleBin\\.Current";
const std::string kNumber = kApps + "\\Odd";

// A private event-sound tree in the program's registry.
class SystemSounds : public ::testing::Test {
protected:
    void TearDown() override { RestoreSystemSounds(); }

    void Set(const std::string& key, const std::string& name, const std::string& text, RegType type = RegType::String)
    {
        ASSERT_TRUE(m_reg.SetValue(RegRoot::CurrentUser, key, name, RegValue { type, text, 0 }));
    }
    std::optional<RegValue> Get(const std::string& key, const std::string& name = "") const
    {
        RegValue v;
        if (!m_reg.GetValue(RegRoot::CurrentUser, key, name, &v))
            return std::nullopt;
        return v;
    }
    std::string Sound(const std::string& key) const { return Get(key).value_or(RegValue {}).text; }
    bool HasBackup(const std::string& key) const { return Get(key, "_BAK").has_value(); }

    void MakeTree()
    {
        Set(kAsterisk, "", "%SystemRoot%\\media\\chimes.wav", RegType::ExpandString);
        Set(kAsteriskDefault, "", "ding.wav");
        Set(kMail, "", "mail.wav");
        Set(kRecycle, "", ""); // muted by hand
        ASSERT_TRUE(m_reg.SetValue(RegRoot::CurrentUser, kNumber, "", RegValue { RegType::Dword, "", 7 }));
    }

    TempHome m_home;
    platform::Registry m_reg = GetAppRegistry();
};

} // namespace

TEST_F(SystemSounds, MutingEmptiesEverySoundAndRestoringPutsThemBack)
{
    MakeTree();
    ASSERT_TRUE(MuteSystemSounds());
    EXPECT_EQ(Sound(kAsterisk), "");
    EXPECT_EQ(Get(kAsterisk)->type, RegType::ExpandString);
    EXPECT_EQ(Get(kAsterisk, "_BAK")->text, "%SystemRoot%\\media\\chimes.wav");
    EXPECT_EQ(Get(kAsterisk, "_BAK")->type, RegType::ExpandString);
    EXPECT_EQ(Sound(kAsteriskDefault), "");
    EXPECT_EQ(Sound(kMail), "");
    EXPECT_FALSE(HasBackup(kRecycle));
    EXPECT_FALSE(HasBackup(kNumber));

    // A second mute changes nothing, even over a backup edited meanwhile.
    Set(kMail, "_BAK", "changed.wav");
    EXPECT_FALSE(MuteSystemSounds());
    EXPECT_EQ(Get(kMail, "_BAK")->text, "changed.wav");

    RestoreSystemSounds();
    EXPECT_EQ(Sound(kAsterisk), "%SystemRoot%\\media\\chimes.wav");
    EXPECT_EQ(Get(kAsterisk)->type, RegType::ExpandString);
    EXPECT_EQ(Sound(kAsteriskDefault), "ding.wav");
    EXPECT_EQ(Sound(kMail), "changed.wav");
    EXPECT_EQ(Sound(kRecycle), "");
    EXPECT_EQ(Get(kNumber)->dword, 7u);
    for (const std::string& key : { kAsterisk, kAsteriskDefault, kMail, kRecycle })
        EXPECT_FALSE(HasBackup(key)) << key;

    // Muting works again once restored.
    EXPECT_TRUE(MuteSystemSounds());
    EXPECT_EQ(Sound(kMail), "");
}

TEST_F(SystemSounds, RestoreRepairsWhatAnInterruptedRunLeft)
{
    MakeTree();
    // Stopped after both writes of one key, and after only the backup of
    // another; a third key with an empty backup has nothing to restore.
    Set(kAsterisk, "_BAK", "%SystemRoot%\\media\\chimes.wav", RegType::ExpandString);
    Set(kAsterisk, "", "", RegType::ExpandString);
    Set(kMail, "_BAK", "mail.wav");
    Set(kAsteriskDefault, "_BAK", "");

    RestoreSystemSounds();
    EXPECT_EQ(Sound(kAsterisk), "%SystemRoot%\\media\\chimes.wav");
    EXPECT_EQ(Get(kAsterisk)->type, RegType::ExpandString);
    EXPECT_FALSE(HasBackup(kAsterisk));
    EXPECT_EQ(Sound(kMail), "mail.wav");
    EXPECT_FALSE(HasBackup(kMail));
    EXPECT_EQ(Sound(kAsteriskDefault), "ding.wav");
    EXPECT_TRUE(HasBackup(kAsteriskDefault));
    EXPECT_EQ(Sound(kRecycle), "");
}

TEST_F(SystemSounds, AKeyAlreadyBackedUpKeepsItsBackup)
{
    MakeTree();
    Set(kMail, "_BAK", "old.wav");
    Set(kMail, "", "new.wav");
    ASSERT_TRUE(MuteSystemSounds());
    EXPECT_EQ(Get(kMail, "_BAK")->text, "old.wav");
    EXPECT_EQ(Sound(kMail), "new.wav");
    RestoreSystemSounds();
    EXPECT_EQ(Sound(kMail), "old.wav");
    EXPECT_FALSE(HasBackup(kMail));
}

TEST_F(SystemSounds, WithoutTheEventKeyNothingIsMutedOrWritten)
{
    EXPECT_FALSE(MuteSystemSounds());
    RestoreSystemSounds();
    SetSystemSoundOff(true);
    EXPECT_FALSE(FileExists(m_reg.StorePath().c_str()));

    CSysSoundOff2 muter(m_reg);
    EXPECT_FALSE(muter.IsActive());
}
