#pragma once

#include <cstddef>
#include <string>

// A skin.xml of about the given size in the shape real skins have: nested
// windows and panels of controls with many attributes, Korean captions,
// comments and a script instruction. Deterministic, for tests and benchmarks.
inline std::string MakeSampleSkinXml(std::size_t nTargetBytes)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!-- sample skin -->\n"
                      "<skin name=\"Sample 스킨\" version=\"3\" width=\"640\" height=\"480\">\n"
                      "  <?Script\n"
                      "    function OnClick(id) { if (id < 3) { SendCommand(id); } }\n"
                      "  ?>\n";
    int n = 0;
    while (xml.size() < nTargetBytes) {
        const std::string i = std::to_string(n++);
        xml += "  <window id=\"win" + i + "\" x=\"0\" y=\"" + i + "\" w=\"640\" h=\"480\" bg=\"main" + i
            + ".bmp\" transparent=\"true\">\n"
              "    <!-- controls of window "
            + i
            + " -->\n"
              "    <button id=\"btn"
            + i
            + "\" x=\"10\" y=\"20\" w=\"60\" h=\"20\" normal=\"btn_n.bmp\" "
              "hover=\"btn_h.bmp\" down=\"btn_d.bmp\" tooltip=\"방송 시작 "
            + i
            + "\" command=\"1000\" visible=\"true\"/>\n"
              "    <static id=\"st"
            + i
            + "\" x=\"80\" y=\"20\" font=\"굴림\" size=\"9\" color=\"#FFFFFF\">"
              "Label "
            + i
            + " 텍스트 &amp; more</static>\n"
              "    <panel id=\"p"
            + i
            + "\" align=\"client\">\n"
              "      <slider id=\"vol"
            + i
            + "\" min=\"0\" max=\"100\" pos=\"50\" thumb=\"thumb.bmp\"/>\n"
              "      <marquee id=\"title"
            + i + "\" speed=\"30\">Now playing: song number " + i
            + "\n        on the air</marquee>\n"
              "    </panel>\n"
              "  </window>\n";
    }
    xml += "</skin>\n";
    return xml;
}
