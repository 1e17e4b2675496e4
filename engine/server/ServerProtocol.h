#pragma once

#include "platform/TextCase.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

class GSocket;

// The built-in server's text formats: request and header lines, the in-band
// title block and the status pages. Pure functions. Thread: any.

// A line of a request or a login is at most this long with its line feed;
// a peer that sends more without one is dropped.
inline constexpr int kMaxServerLine = 8192;

struct ServerRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> query;
    std::string version;
};

// request-line := blanks method blank+ path ["?" query] blank+ version
// query := pair ("&" pair)*, pair := key ["=" value]; values percent-decoded.
// False when there is no method.
[[nodiscard]] bool ParseServerRequest(std::string_view line, ServerRequest* out);

// "%hh" to its byte (a non-hex digit counts as 0), a "%" without two
// characters after it dropped, "+" a blank as every HTML form and HTTP
// tool encodes it. The value ends at the first NUL it decodes to, so "%00"
// cannot smuggle a hidden tail past a C string.
[[nodiscard]] std::string PercentDecode(std::string_view text);

// header-line := blanks name ":" blanks value. Blanks inside the name are
// dropped; in the value every further ":" goes with the blanks after it.
// False when the name or the value is empty.
[[nodiscard]] bool ParseHeaderLine(std::string_view line, std::string* name, std::string* value);

// The request line with the value of one query key replaced by "*", so a
// secret in it never reaches a log.
[[nodiscard]] std::string MaskQueryValue(std::string_view line, std::string_view key);

// Text made safe for a console or log line: control bytes, bytes that are
// no valid UTF-8 and the UTF-8 forms of C1 controls become "\xNN" (so
// neither terminal escape sequences nor forged line breaks get through);
// the result is cut to about maxBytes and then ends in "...".
[[nodiscard]] std::string EscapeLogText(std::string_view text, size_t maxBytes);

// ASCII comparison without regard to case.
using platform::EqualsNoCase;
[[nodiscard]] bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// True when guess is the secret. The time taken depends on the guess's
// length only, so a peer timing its tries learns nothing of the secret.
[[nodiscard]] bool SecretEquals(std::string_view guess, std::string_view secret);

enum class LineStatus { Line, Waiting, TooLong };

// Takes one line from the socket's receive queue, without its line feed and
// a carriage return before it. Waiting when no line feed has arrived yet;
// TooLong when kMaxServerLine bytes are queued without one. scratch holds at
// least kMaxServerLine bytes.
[[nodiscard]] LineStatus TakeLine(GSocket& socket, char* scratch, std::string* line);

// The text without NUL, CR and LF bytes: station texts end up in reply
// headers and title blocks, where those bytes would split them.
[[nodiscard]] std::string StripLineBreaks(std::string_view text);

// At most maxBytes of text, never ending inside a UTF-8 sequence.
[[nodiscard]] std::string_view CutUtf8(std::string_view text, size_t maxBytes);

// The largest title block one length byte can announce.
inline constexpr size_t kMaxMetadataBlock = 255 * 16;

// "StreamTitle='%s';StreamUrl='%s';" padded with NULs to a multiple of 16
// with at least one NUL; the title (then the URL) is cut so the block fits
// kMaxMetadataBlock.
[[nodiscard]] std::string BuildMetadataBlock(std::string_view title, std::string_view url);

// True for a page path that may be looked up in the page folder: no ".."
// segment, no backslash, no control byte.
[[nodiscard]] bool IsSafePagePath(std::string_view path);

// Content type by the path's extension, for pages without their own header.
[[nodiscard]] const char* PageContentType(const std::string& path);

// True when the page carries its own status line.
[[nodiscard]] bool HasStatusLine(std::string_view page);

enum class PageEscape { None, Html, Js };

struct PageValues {
    std::string url;
    int port = 0;
    int listeners = 0;
    int maxListeners = 0;
    std::string serverState; // our own markup, inserted as it is
    std::string serverName;
    std::string songTitle;
};

// Replaces the placeholders in one pass, so an inserted value is never
// searched again; inserted texts are escaped for the page's language.
[[nodiscard]] std::string FillPageTemplate(std::string_view page, const PageValues& values, PageEscape escape);

[[nodiscard]] std::string EscapeJs(std::string_view text);
