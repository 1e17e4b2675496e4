// Archives are made at test time by the zip tool and by python3's zipfile,
// then opened and extracted; broken archives are real ones with bytes
// patched, so each fault sits in an otherwise valid file.
#include "skin/GZipReader.h"

#include "support/RequireTool.h"
#include "support/TestSandbox.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

uint32_t Get32(const std::string& b, size_t at)
{
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8
        | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16
        | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

void Put32(std::string& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(v >> (8 * i));
}

void Put16(std::string& b, size_t at, uint16_t v)
{
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}

// Offsets inside a well-formed archive without a comment.
size_t EndRecord(const std::string& b)
{
    return b.size() - 22;
}
size_t FirstCentral(const std::string& b)
{
    return Get32(b, EndRecord(b) + 16);
}

// Bytes that do not compress away, so stored and deflated data differ.
std::string Noise(size_t size, uint32_t seed)
{
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return out;
}

// The entry's bytes, or the reader's error code as "error N".
std::string Extract(GZipReader& zip, const std::string& name)
{
    if (!zip.FindEntry(name))
        return "missing";
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    if (!zip.ExtractToMemory(&data, &size))
        return "error " + std::to_string(zip.GetLastError());
    EXPECT_EQ(data[size], 0) << "a zero byte follows the data";
    return std::string(reinterpret_cast<const char*>(data.get()), size);
}

class ZipArchives : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_box.Create("tavdj-zip"));
        m_files["skin.xml"]
            = std::string(200, ' ') + "<SkinWindow Name=\"main\">\n  <Button ID=\"IDC_PLAY\"/>\n</SkinWindow>\n";
        m_files["images/btn.bmp"] = "BM" + Noise(5000, 1);
        // Stored, it is read in pieces of 8192, 8192 and 3616 bytes.
        m_files["big.bin"] = Noise(20000, 2);
        // Its UTF-8 bytes also decode as CP949, to other syllables.
        m_files["갇것/갇것.bmp"] = "BM" + Noise(300, 3);
        for (const auto& [name, bytes] : m_files)
            WriteFile(Dir() / name, bytes);
    }

    fs::path Dir() const { return m_box.Dir(); }

    // Runs a shell command in the sandbox; true on exit status 0.
    bool Shell(const std::string& command) const
    {
        return std::system(("cd '" + Dir().string() + "' && { " + command + "; } >/dev/null 2>&1").c_str()) == 0;
    }

    bool MakePythonZips() const
    {
        const std::string script = std::string(TAVDJ_SOURCE_DIR) + "/tests/skin/data/make_zips.py";
        return Shell("python3 '" + script + "' .");
    }

    TestSandbox m_box;
    std::map<std::string, std::string> m_files;
};

TEST_F(ZipArchives, ZipToolArchivesOpenAndExtract)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("zip"), "zip");
    struct Case {
        const char* archive;
        const char* command;
        std::vector<std::string> entries;
    };
    const std::vector<std::string> all = { "skin.xml", "images/btn.bmp", "big.bin" };
    const Case cases[] = {
        { "stored.zip", "zip -q -0 stored.zip skin.xml images/btn.bmp big.bin", all },
        { "deflated.zip", "zip -q -9 deflated.zip skin.xml images/btn.bmp big.bin", all },
        { "folders.zip", "zip -q -r folders.zip images skin.xml", { "skin.xml", "images/btn.bmp" } },
        { "comment.zip", "echo 'PK\x05\x06 a comment' | zip -q -z comment.zip skin.xml big.bin",
            { "skin.xml", "big.bin" } },
        // zip here writes UTF-8 names without flag bit 11.
        { "korean.zip", "zip -q korean.zip 갇것/갇것.bmp", { "갇것/갇것.bmp" } },
        // Streamed to a pipe: zero sizes in the local headers, descriptors.
        { "piped.zip", "zip -q - skin.xml images/btn.bmp big.bin | cat > piped.zip", all },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        ASSERT_TRUE(Shell(c.command));
        GZipReader zip;
        ASSERT_TRUE(zip.Open((Dir() / c.archive).string())) << zip.GetLastError();
        for (const std::string& name : c.entries) {
            // Asked for in other letters and with the other slash.
            std::string asked = name;
            for (char& ch : asked)
                ch = ch == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            EXPECT_EQ(Extract(zip, asked), m_files[name]) << name;
            const fs::path out = Dir() / "out" / c.archive;
            ASSERT_TRUE(zip.ExtractToFolder(out.string())) << zip.GetLastError();
            EXPECT_EQ(ReadFile(out / name), m_files[name]);
        }
    }
    // The folder entry of "zip -r" extracts as a folder.
    GZipReader zip;
    ASSERT_TRUE(zip.Open((Dir() / "folders.zip").string()));
    ASSERT_TRUE(zip.FindEntry("images\\"));
    EXPECT_TRUE(zip.GetCurrentEntry()->IsDirectory());
    ASSERT_TRUE(zip.ExtractToFolder((Dir() / "dirs").string()));
    EXPECT_TRUE(fs::is_directory(Dir() / "dirs" / "images"));
}

TEST_F(ZipArchives, StreamedFromStandardInputWithZip64LocalHeaders)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("zip"), "zip");
    // zip reading standard input into a pipe cannot know the size: its local
    // header holds Zip64 markers and a 24-byte descriptor follows the data.
    // The central record holds plain sizes, and those are what count.
    ASSERT_TRUE(Shell("cat skin.xml | zip -q - - | cat > stdin.zip"));
    const std::string bytes = ReadFile(Dir() / "stdin.zip");
    ASSERT_EQ(Get32(bytes, 18), 0xFFFFFFFFu) << "expected Zip64 markers in the local header";
    GZipReader zip;
    ASSERT_TRUE(zip.Open((Dir() / "stdin.zip").string())) << zip.GetLastError();
    EXPECT_EQ(Extract(zip, "-"), m_files["skin.xml"]);

    // Zip64 values where they would be trusted (central record, end
    // record) are refused.
    ASSERT_TRUE(Shell("zip -q -fz forced.zip skin.xml"));
    EXPECT_FALSE(zip.Open((Dir() / "forced.zip").string()));
    EXPECT_EQ(zip.GetLastError(), GZipReader::kErrorEndRecord);
    EXPECT_FALSE(zip.IsOpen());
}

TEST_F(ZipArchives, EncryptedEntriesNeedTheRightPassword)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("zip"), "zip");
    // A fixed time makes the check byte known: 03:04:05 is DOS time 0x1882.
    ASSERT_TRUE(Shell("touch -d '2020-01-02 03:04:05' skin.xml big.bin"
                      " && zip -q -P secret locked.zip skin.xml big.bin"));
    GZipReader zip;
    ASSERT_TRUE(zip.Open((Dir() / "locked.zip").string()));
    EXPECT_TRUE(zip.HasEncryptedEntry());
    ASSERT_TRUE(zip.FindEntry("skin.xml"));
    const SLocalFileHeader& entry = *zip.GetCurrentEntry();
    ASSERT_TRUE(entry.m_nFlags & 0x0008) << "zip -P writes data descriptors";
    // With a descriptor the check byte is the time's, not the CRC's.
    ASSERT_EQ(entry.m_nModTime >> 8, 0x18);
    ASSERT_NE(entry.m_nCrc32 >> 24, 0x18u);

    const fs::path out = Dir() / "locked-out" / "skin.xml";
    struct Case {
        const char* password;
        std::set<int> errors; // empty: extracts
    };
    // A wrong password passes the one-byte check once in 256 (zip draws the
    // encryption header at random); the garbage it decrypts then fails the
    // inflater or the CRC.
    const Case cases[] = { { "", { GZipReader::kErrorNoPassword } },
        { "wrong", { GZipReader::kErrorWrongPassword, GZipReader::kErrorInflate, GZipReader::kErrorCrc } },
        { "secret", {} } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        zip.SetPassword(c.password);
        for (const char* name : { "skin.xml", "big.bin" }) {
            const std::string got = Extract(zip, name);
            if (c.errors.empty()) {
                EXPECT_EQ(got, m_files[name]);
            } else {
                EXPECT_TRUE(c.errors.count(zip.GetLastError())) << got;
            }
        }
        ASSERT_TRUE(zip.FindEntry("skin.xml"));
        EXPECT_EQ(zip.ExtractToFile(out.string()), c.errors.empty());
        if (!c.errors.empty()) {
            EXPECT_TRUE(c.errors.count(zip.GetLastError()));
        }
        if (c.password[0] == '\0') {
            EXPECT_FALSE(fs::exists(out)) << "no file is made before the password check";
        }
    }
    EXPECT_EQ(ReadFile(out), m_files["skin.xml"]);
}

TEST_F(ZipArchives, PythonArchives)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    ASSERT_TRUE(MakePythonZips());
    const std::string text = ReadFile(Dir() / "text.payload");
    const std::string bmp = ReadFile(Dir() / "bmp.payload");
    struct Case {
        const char* archive;
        const char* asked;
        std::string expected;
    };
    const Case cases[] = {
        { "bzip2.zip", "a.txt", "error 25" },
        { "lzma.zip", "a.txt", "error 25" },
        // Without flag bit 11 the name is CP949; it matches the UTF-8 name.
        { "cp949.zip", "한글스킨/버튼.BMP", bmp },
        { "utf8.zip", "한글스킨\\skin.xml", text },
        // Data descriptor without its optional signature.
        { "unsigned.zip", "skin.xml", text },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        GZipReader zip;
        ASSERT_TRUE(zip.Open((Dir() / c.archive).string())) << zip.GetLastError();
        EXPECT_EQ(Extract(zip, c.asked), c.expected);
    }
}

TEST_F(ZipArchives, NamesThatLeaveTheFolderAreRefused)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    ASSERT_TRUE(MakePythonZips());
    GZipReader zip;
    ASSERT_TRUE(zip.Open((Dir() / "names.zip").string()));
    const fs::path out = Dir() / "a" / "b" / "out";
    for (const char* name : { "../escaped.txt", "ok/../../escaped2.txt", "/tavdj-zip-slip-probe.txt",
             "C:/tavdj-drive.txt", "..\\escaped3.txt" }) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(zip.FindEntry(name));
        EXPECT_FALSE(zip.ExtractToFolder(out.string()));
        EXPECT_EQ(zip.GetLastError(), GZipReader::kErrorCreateFile);
    }
    EXPECT_FALSE(zip.ExtractAllExcept(out.string()));
    EXPECT_TRUE(fs::exists(out / "good.txt")) << "entries before the bad one are extracted";
    EXPECT_FALSE(fs::exists(Dir() / "a" / "b" / "escaped.txt"));
    EXPECT_FALSE(fs::exists(Dir() / "a" / "escaped2.txt"));
    EXPECT_FALSE(fs::exists(Dir() / "a" / "b" / "escaped3.txt"));
    EXPECT_FALSE(fs::exists("/tavdj-zip-slip-probe.txt"));
    // An empty folder would make every name absolute.
    ASSERT_TRUE(zip.FindEntry("good.txt"));
    EXPECT_FALSE(zip.ExtractToFolder(""));
}

TEST_F(ZipArchives, ExtractAllExceptSkipsByTheExtensionList)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    ASSERT_TRUE(MakePythonZips());
    GZipReader zip;
    ASSERT_TRUE(zip.Open((Dir() / "filter.zip").string()));
    const fs::path out = Dir() / "not" / "yet" / "there";
    ASSERT_TRUE(zip.ExtractAllExcept(out.string())) << zip.GetLastError();
    std::set<std::string> made;
    for (const auto& item : fs::recursive_directory_iterator(out))
        made.insert(fs::relative(item.path(), out).string() + (item.is_directory() ? "/" : ""));
    // ".x" and ".in" occur inside ".bmp;.xml;.ini", so they are skipped too.
    EXPECT_EQ(made, (std::set<std::string> { "e.txt", "f.swf", "noext", "sub/", "sub/h.js" }));
    EXPECT_EQ(ReadFile(out / "sub" / "h.js"), "h");
    struct stat st { };
    ASSERT_EQ(stat((out / "e.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ZipArchives, BrokenArchivesFailWithTheirCode)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("zip"), "zip");
    ASSERT_TRUE(Shell("zip -q -X base.zip skin.xml big.bin"));
    const std::string base = ReadFile(Dir() / "base.zip");
    const size_t central = FirstCentral(base);
    const size_t end = EndRecord(base);
    const uint32_t nameLength = static_cast<uint8_t>(base[26]) | static_cast<uint8_t>(base[27]) << 8;
    const uint32_t extraLength = static_cast<uint8_t>(base[28]) | static_cast<uint8_t>(base[29]) << 8;
    const size_t firstData = 30 + nameLength + extraLength;

    using Patch = std::function<void(std::string&)>;
    struct Case {
        const char* what;
        Patch patch;
        int openError; // 0: opens
        int extractError; // of skin.xml, when it opens; 0: extracts
    };
    const Case cases[] = {
        { "intact", [](std::string&) {}, 0, 0 },
        { "cut in half", [](std::string& b) { b.resize(b.size() / 2); }, 18, 0 },
        { "end record cut short", [](std::string& b) { b.pop_back(); }, 18, 0 },
        { "trailing garbage", [](std::string& b) { b += "garbage!"; }, 2, 0 },
        { "comment length past the end", [&](std::string& b) { Put16(b, end + 20, 9); }, 18, 0 },
        { "split over disks", [&](std::string& b) { Put16(b, end + 4, 1); }, 18, 0 },
        { "more entries than records", [&](std::string& b) { Put16(b, end + 8, 3), Put16(b, end + 10, 3); }, 8, 0 },
        { "directory past its end record", [&](std::string& b) { Put32(b, end + 12, Get32(b, end + 12) + 1); }, 8, 0 },
        { "local offset into data", [&](std::string& b) { Put32(b, central + 42, 7); }, 8, 0 },
        { "local offset past the data", [&](std::string& b) { Put32(b, central + 42, central); }, 3, 0 },
        { "compressed size past the data", [&](std::string& b) { Put32(b, central + 20, 1u << 20); }, 3, 0 },
        { "Zip64 size in the central record", [&](std::string& b) { Put32(b, central + 24, 0xFFFFFFFF); }, 8, 0 },
        { "encrypted with under 12 bytes",
            [&](std::string& b) {
                b[central + 8] = static_cast<char>(b[central + 8] | 1);
                Put32(b, central + 20, 11);
            },
            3, 0 },
        { "uncompressed size one more", [&](std::string& b) { Put32(b, central + 24, Get32(b, central + 24) + 1); }, 0,
            24 },
        { "uncompressed size one less", [&](std::string& b) { Put32(b, central + 24, Get32(b, central + 24) - 1); }, 0,
            24 },
        { "uncompressed size over the memory cap", [&](std::string& b) { Put32(b, central + 24, 100u << 20); }, 0, 48 },
        { "CRC flipped", [&](std::string& b) { Put32(b, central + 16, Get32(b, central + 16) ^ 1); }, 0, 24 },
        { "deflated data damaged", [&](std::string& b) { b[firstData] = static_cast<char>(b[firstData] ^ 0xFF); }, 0,
            22 },
        { "method unknown", [&](std::string& b) { Put16(b, central + 10, 12); }, 0, 25 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = base;
        c.patch(bytes);
        const fs::path path = Dir() / "broken.zip";
        WriteFile(path, bytes);
        GZipReader zip;
        EXPECT_EQ(zip.Open(path.string()), c.openError == 0);
        EXPECT_EQ(zip.GetLastError(), c.openError);
        if (c.openError != 0)
            continue;
        const std::string got = Extract(zip, "skin.xml");
        if (c.extractError == 0) {
            EXPECT_EQ(got, m_files["skin.xml"]);
        } else {
            EXPECT_EQ(got, "error " + std::to_string(c.extractError));
        }
        // The other entry is untouched by every patch.
        EXPECT_EQ(Extract(zip, "big.bin"), m_files["big.bin"]);
    }
}

TEST_F(ZipArchives, LookupAndLifecycle)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("zip"), "zip");
    WriteFile(Dir() / "empty.txt", "");
    ASSERT_TRUE(Shell("zip -q order.zip skin.xml empty.txt big.bin"));
    GZipReader zip;
    EXPECT_FALSE(zip.Open((Dir() / "missing.zip").string()));
    EXPECT_EQ(zip.GetLastError(), GZipReader::kErrorOpen);
    EXPECT_FALSE(zip.Open(Dir().string()));
    EXPECT_EQ(zip.GetLastError(), GZipReader::kErrorOpen);

    ASSERT_TRUE(zip.Open((Dir() / "order.zip").string()));
    std::vector<std::string> names;
    for (const SLocalFileHeader& e : zip.GetEntries())
        names.push_back(e.m_name);
    EXPECT_EQ(names, (std::vector<std::string> { "skin.xml", "empty.txt", "big.bin" }));
    // An empty entry has nothing to put in memory, but extracts to a file.
    EXPECT_EQ(Extract(zip, "EMPTY.TXT"), "error 0");
    ASSERT_TRUE(zip.ExtractToFolder((Dir() / "x").string()));
    EXPECT_TRUE(fs::exists(Dir() / "x" / "empty.txt"));
    // A miss clears the current entry.
    EXPECT_FALSE(zip.FindEntry("skin.xm"));
    EXPECT_EQ(zip.GetCurrentEntry(), nullptr);
    EXPECT_FALSE(zip.ExtractToFile((Dir() / "y").string()));
}

} // namespace
