// The tree GXmp builds agrees with python3's xml.etree on well-formed
// documents in the subset both read alike: elements, attributes, nesting and
// text whose words are separated by blanks.
#include "foundation/GXmp.h"

#include "support/RequireTool.h"
#include "support/SampleSkinXml.h"
#include "support/TestSandbox.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Prints each file's tree as GXmpDump below prints ours: comments and
// instructions dropped, each text run's blanks collapsed to one.
constexpr const char* kDumpScript = R"PY(
import sys
import xml.etree.ElementTree as ET

def text(s, out):
    words = (s or "").split()
    if words:
        out.append("T " + " ".join(words))

def dump(e, out):
    out.append("E " + e.tag)
    for k in sorted(e.attrib):
        out.append("A " + k + "=" + e.attrib[k])
    text(e.text, out)
    for c in e:
        dump(c, out)
        text(c.tail, out)
    out.append("/")

for path in sys.argv[1:]:
    out = ["=== " + path]
    dump(ET.parse(path).getroot(), out)
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))
)PY";

// Our tree in the script's form. The tree offers attributes by name only,
// so each element reports, with our values, the names python lists at the
// same line; while the dumps agree the lines are aligned.
void Dump(const GXmpData* pNode, const std::vector<std::string>& theirs, std::vector<std::string>* pOurs)
{
    pOurs->push_back("E " + pNode->GetName());
    while (pOurs->size() < theirs.size() && theirs[pOurs->size()].starts_with("A ")) {
        const std::string& line = theirs[pOurs->size()];
        const std::string name = line.substr(2, line.find('=') - 2);
        std::string value;
        pOurs->push_back("A " + name + (pNode->GetAttribute(name, &value) ? "=" + value : " missing"));
    }
    GXmpData::Position pos = pNode->GetFirstChildPosition();
    while (const GXmpData* pChild = pNode->GetNextChild(pos)) {
        if (pChild->GetType() == GXmpData::kElement)
            Dump(pChild, theirs, pOurs);
        else if (pChild->GetType() == GXmpData::kText)
            pOurs->push_back("T " + pChild->GetText());
    }
    pOurs->push_back("/");
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string RunCapture(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    pclose(pipe);
    return out;
}

const char* const kDocuments[] = {
    "<a/>",
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root x=\"1\" y=\"two words\">\n"
    "  <child id=\"c1\">hello   world\n  again</child>\n  tail text\n"
    "  <child id=\"c2\"/>\n  <other>&lt;b&gt; &amp; &quot;q&quot; &apos;</other>\n</root>\n",
    "<skin name=\"한글\"><title>가나 다</title><!-- note --><button text=\"방송\"/>끝</skin>",
    "<a>one<b>two<c>three</c>four</b>five<d/>six</a>",
    "<deep><l1><l2><l3><l4><l5 v=\"5\">bottom</l5></l4></l3></l2></l1></deep>",
    "<a p=\"path/to/file.bmp\" q=\"&lt;&gt;\" r=\"\">x/y a.b,c;d!e</a>",
};

} // namespace

TEST(GXmpEtree, TreesAgreeWithPythonXmlEtree)
{
    TAVDJ_REQUIRE_TOOL(ToolOnPath("python3"), "python3");
    TestSandbox temp;
    ASSERT_TRUE(temp.Create("gxmp-etree"));
    const std::string dir = temp.Dir().string();

    std::vector<std::string> docs(std::begin(kDocuments), std::end(kDocuments));
    docs.push_back(MakeSampleSkinXml(20000));

    std::string command = "python3 " + dir + "/dump.py";
    std::ofstream(dir + "/dump.py") << kDumpScript;
    std::vector<GXmp> trees(docs.size());
    for (size_t i = 0; i < docs.size(); ++i) {
        const std::string path = dir + "/doc" + std::to_string(i) + ".xml";
        std::ofstream(path, std::ios::binary) << docs[i];
        command += " " + path;
        ASSERT_TRUE(trees[i].LoadBuffer(docs[i].data(), static_cast<int>(docs[i].size())))
            << docs[i] << "\n"
            << trees[i].GetErrorMessage();
    }
    const std::vector<std::string> theirs = Lines(RunCapture(command));

    std::vector<std::string> ours;
    for (size_t i = 0; i < docs.size(); ++i) {
        ours.push_back("=== " + dir + "/doc" + std::to_string(i) + ".xml");
        Dump(trees[i].GetRoot(), theirs, &ours);
    }
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i)
        ASSERT_EQ(ours[i], theirs[i]) << "line " << i;
}
