// Control-ID files in both forms as a skin window loads them, the lookups
// across nested windows, and the loader's error texts.
#include "skin/GXControlIdTable.h"

#include "skin/GXSkinIds.h"
#include "skin/GXWindowChild.h"
#include "skin/SkinErrorText.h"
#include "support/SkinWindowRig.h"
#include "support/TestSandbox.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string Write(const TestSandbox& box, const std::string& name, const std::string& text)
{
    const std::string path = (box.Dir() / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(GXControlIdTable, LoadsBothFormsAndSkipsMissingWindows)
{
    TestSandbox box;
    ASSERT_TRUE(box.Create("ctlid"));
    const std::string xml = Write(box, "ControlID.XML",
        "<IDS><WINDOW_CONTROL_ID><IDC_EDIT_TITLE ID=\"5000\"/><IDC_GONE ID=\"5001\"/></WINDOW_CONTROL_ID>"
        "<CONTROL_ID><ID_START ID=\"3001\"/><ID_STOP ID=\"3002\"/></CONTROL_ID></IDS>");
    const std::string ini = Write(box, "ids.Ini",
        "[WINDOW_CONTROL_ID]\nIDC_EDIT_TITLE=5000\nIDC_GONE=5001\n[CONTROL_ID]\nID_START=3001\nID_STOP=3002\n");
    for (const std::string& path : { xml, ini }) {
        SCOPED_TRACE(path);
        SkinWindowRig rig;
        QLineEdit title;
        rig.owner.RegisterDlgItem(GXCommandId::kTitleEdit, &title);
        ASSERT_TRUE(rig.pWindow->LoadControlIdFile(path));
        EXPECT_EQ(rig.pWindow->GetControlIdFile(), path);
        SGxControlInfo info;
        ASSERT_TRUE(rig.pWindow->LookupControlInfo("IDC_EDIT_TITLE", &info, false));
        EXPECT_EQ(info.nKind, SGxControlInfo::kWindow);
        EXPECT_EQ(info.pWindow, &title);
        EXPECT_FALSE(rig.pWindow->LookupControlId("IDC_GONE", nullptr, false));
        int nId = 0;
        EXPECT_TRUE(rig.pWindow->LookupControlId("  ID_STOP\t", &nId, false));
        EXPECT_EQ(nId, 3002);
        EXPECT_FALSE(rig.pWindow->LookupControlId("id_stop", &nId, false));
        EXPECT_EQ(rig.pWindow->GetErrorCode(), 0);
    }
}

TEST(GXControlIdTable, RefusedFilesAndDuplicates)
{
    TestSandbox box;
    ASSERT_TRUE(box.Create("ctlid"));
    struct Case {
        const char* name;
        std::string text;
        int nError;
        std::string errorText;
    };
    const Case cases[] = {
        { "a.xml", "<IDS><CONTROL_ID><A ID=\"1\"/></CONTROL_ID></IDS>", 0, "오류 없음 " },
        { "b.xml", "<IDS><WINDOW_CONTROL_ID/><CONTROL_ID><A ID=\"1\"/>", 0, "오류 없음 " },
        { "c.txt", "[CONTROL_ID]\nA=1\n", 0, "오류 없음 " },
        { "d.xml", "<IDS><WINDOW_CONTROL_ID/><CONTROL_ID><A ID=\"1\"/><A ID=\"2\"/></CONTROL_ID></IDS>", 22,
            "중복된 컨트롤 아이디 A,2" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SkinWindowRig rig;
        EXPECT_FALSE(rig.pWindow->LoadControlIdFile(Write(box, c.name, c.text)));
        EXPECT_EQ(rig.pWindow->GetErrorCode(), c.nError);
        EXPECT_EQ(rig.pWindow->GetErrorText(), c.errorText);
    }

    SkinWindowRig rig;
    ASSERT_TRUE(rig.pWindow->AddWindowControlId("IDW", 9, nullptr));
    EXPECT_FALSE(rig.pWindow->AddWindowControlId("IDW", 10, nullptr));
    EXPECT_EQ(rig.pWindow->GetErrorText(), "중복된 윈도우 컨트롤 아이디 IDW,10");
}

TEST(GXControlIdTable, LookupClimbsUpAndSearchesDownWithoutLooping)
{
    SkinWindowRig rig;
    auto pChild = std::make_unique<GXWindowChild>(rig.pWindow.get());
    GXWindowChild* pNested = pChild.get();
    rig.pWindow->AddControl(std::move(pChild), SGxAlign {});
    rig.pWindow->AddControlId("TOP", 1);
    pNested->AddControlId("NESTED", 2);
    int nId = 0;
    EXPECT_TRUE(pNested->LookupControlId("TOP", &nId, true));
    EXPECT_EQ(nId, 1);
    EXPECT_FALSE(pNested->LookupControlId("TOP", &nId, false));
    EXPECT_TRUE(rig.pWindow->LookupControlId("NESTED", &nId, true));
    EXPECT_EQ(nId, 2);
    // An unknown name used to bounce between parent and child for ever.
    EXPECT_FALSE(pNested->LookupControlId("UNKNOWN", &nId, true));
    EXPECT_FALSE(rig.pWindow->LookupControlId("UNKNOWN", &nId, true));
}

TEST(GXControlIdTable, EveryErrorCodeHasItsText)
{
    const std::pair<int, std::string> samples[] = { { 0, "오류 없음" }, { 1, "Align 속성이 없음" },
        { 13, "잘못된 XML 스킨 경로" }, { 36, "정의되지 않은 컨트롤 아이디" }, { 37, "스크립트 처리중 오류 발생" },
        { 46, "스플리 터콘트롤에 연결된 콘트롤을 찾을 수 없음" }, { 48, "MenuID 가 존재하지 않음." },
        { 50, "스킨 목록 파일(list.xml) 이 없음" }, { 51, "Code:51" }, { -1, "Code:-1" } };
    for (const auto& [nCode, text] : samples)
        EXPECT_EQ(SkinErrorText(nCode), text) << nCode;
    for (int nCode = 0; nCode <= GXSkinError::kLast; ++nCode)
        EXPECT_EQ(SkinErrorText(nCode).find("Code:"), std::string::npos) << nCode;
    EXPECT_EQ(FormatSkinError(51, "detail"), "Code:51 detail");
}

} // namespace
