#pragma once

#include <string>
#include <string_view>

// The texts the source client exchanges with an Icecast 2 server: request
// paths and query values, header values, credentials, and the names and
// titles its status page gives back. Thread: any; pure functions.

// What percent-encoding leaves as it is besides letters, digits and "-._~".
enum class PercentKeep {
    Nothing, // a query value: every other byte is escaped
    Slashes, // a path: its "/" separators stay
};
// Every byte outside the kept set as "%XX" (upper-case hex): UTF-8 text
// arrives byte for byte, and a blank, "&", "#" or "?" cannot end the value.
// Letters and digits are ASCII's, whatever the process locale.
[[nodiscard]] std::string PercentEncode(std::string_view text, PercentKeep keep);

// The text as one header value: line ends and other control bytes become
// blanks, so a station name can never start a header of its own.
[[nodiscard]] std::string HeaderValue(std::string_view text);

// "Basic " and the Base64 of user:password.
[[nodiscard]] std::string BasicAuthorization(std::string_view user, std::string_view password);

// A mount as servers name it: blanks around it dropped and a missing
// leading "/" added; empty stays empty.
[[nodiscard]] std::string NormalizeMount(std::string_view mount);

// True when a status page's listen address names this mount: its path
// (after the scheme and host) is the mount itself, not merely ending in it.
[[nodiscard]] bool ListenUrlIsMount(std::string_view listenUrl, std::string_view mount);

// Numeric character references ("&#44032;", "&#x1F3B5;") as UTF-8. A server
// whose mount keeps another character set writes a title's other
// characters so. A reference that names no character stays as it is.
[[nodiscard]] std::string DecodeCharacterReferences(std::string_view text);

// UTF-8 bytes read as Latin-1 and written as UTF-8 again: how a station
// name sent as UTF-8 comes back from a server whose mount keeps Latin-1.
[[nodiscard]] std::string Latin1AsUtf8(std::string_view text);
