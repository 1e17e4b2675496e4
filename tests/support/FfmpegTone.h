#pragma once

#include "support/ChildProcess.h"

#include <string>
#include <vector>

namespace testutil {

// Seconds of a 440 Hz tone as a 128 kbit/s stereo MP3, encoded now by
// ffmpeg (the peers' encoder, not ours); a title and an artist go into an
// ID3v2.3 tag.
inline bool MakeMp3(const std::string& path, int seconds, const std::string& title = {}, const std::string& artist = {})
{
    ChildProcess ffmpeg;
    std::vector<std::string> argv = { "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        "sine=frequency=440:duration=" + std::to_string(seconds), "-ac", "2", "-ar", "44100", "-c:a", "libmp3lame",
        "-b:a", "128k" };
    if (!title.empty())
        argv.insert(argv.end(), { "-metadata", "title=" + title, "-id3v2_version", "3" });
    if (!artist.empty())
        argv.insert(argv.end(), { "-metadata", "artist=" + artist, "-id3v2_version", "3" });
    argv.push_back(path);
    return ffmpeg.Start(argv, false) && ffmpeg.Wait(60000) == 0;
}

} // namespace testutil
