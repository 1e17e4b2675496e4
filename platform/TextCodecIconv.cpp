#include "platform/TextCodec.h"

#include <cerrno>
#include <iconv.h>
#include <new>
#include <string>
#include <utility>

namespace platform {
namespace {

std::string IconvName(unsigned codePage)
{
    if (IsUtf8CodePage(codePage))
        return "UTF-8";
    if (codePage == kCodePageUtf16Le)
        return "UTF-16LE";
    return "CP" + std::to_string(codePage);
}

// Owns one conversion descriptor.
class Converter {
public:
    Converter(const std::string& to, const std::string& from)
        : m_cd(iconv_open(to.c_str(), from.c_str()))
    {
    }
    ~Converter()
    {
        if (IsOpen())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    [[nodiscard]] bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    [[nodiscard]] bool Run(std::string_view text, std::string* pOut)
    {
        // Four bytes out per byte in covers every pair we convert between;
        // E2BIG grows the buffer anyway.
        std::string out(text.size() * 4 + 16, '\0');
        size_t done = 0;
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        bool inputDone = false;
        for (;;) {
            char* dst = out.data() + done;
            size_t outLeft = out.size() - done;
            // The last call, with no input, writes any closing shift sequence.
            size_t rc
                = inputDone ? iconv(m_cd, nullptr, nullptr, &dst, &outLeft) : iconv(m_cd, &in, &inLeft, &dst, &outLeft);
            done = out.size() - outLeft;
            if (rc == static_cast<size_t>(-1)) {
                if (errno != E2BIG)
                    return false;
                out.resize(out.size() * 2);
                continue;
            }
            if (inputDone)
                break;
            inputDone = true; // a successful call has taken all the input
        }
        out.resize(done);
        *pOut = std::move(out);
        return true;
    }

private:
    iconv_t m_cd;
};

} // namespace

bool ConvertCodePage(std::string_view text, unsigned fromCodePage, unsigned toCodePage, std::string* pOut)
{
    try {
        const std::string from = IconvName(fromCodePage);
        const std::string to = IconvName(toCodePage);
        Converter converter(to, from);
        if (!converter.IsOpen())
            return false;
        return converter.Run(text, pOut);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace platform
