#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class GDib;

// The pictures a skin document names, read and decoded on a thread of its
// own while the program does the rest of its start; the skin window takes
// them as it builds instead of decoding them itself. A picture the thread
// did not make (unreadable, broken, past the limits, or stopped early) is
// left to the window, which reads it and tells its own errors.
//
// Thread: Start, Take and the destructor on one thread; the decoding thread
// reads the skin through a source of its own.
class GXImagePrefetch {
public:
    // A hostile document names no more pictures than this, and the thread
    // decodes no more than this many bytes of pixels ahead.
    static constexpr std::size_t kMaxPictures = 512;
    static constexpr std::int64_t kMaxBytes = std::int64_t { 64 } << 20;

    GXImagePrefetch() = default;
    // Stops the thread after the picture in hand and joins it.
    ~GXImagePrefetch();
    GXImagePrefetch(const GXImagePrefetch&) = delete;
    GXImagePrefetch& operator=(const GXImagePrefetch&) = delete;

    // Starts on the skin at path (a folder or a zip) and its document file.
    void Start(const std::string& path, const std::string& documentFile);
    // The picture of that name, spelled as the document spells it, once;
    // waits while the thread still works towards it. Null when the thread
    // does not make it.
    [[nodiscard]] std::unique_ptr<GDib> Take(const std::string& name);

private:
    struct SPicture {
        bool bDone = false;
        std::unique_ptr<GDib> pImage;
    };

    void Run(const std::string& path, const std::string& documentFile);
    void Finish();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, SPicture, std::less<>> m_pictures;
    bool m_bListed = false;
    bool m_bFinished = false;
    bool m_bStop = false;
    std::thread m_thread;
};
