#include "imaging/codec/ImgLib.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <new>

namespace vistrel {

namespace {

// Every thread's record lives in this list until the program ends, so a record never goes away
// while its thread may still use it.
struct RecordList {
    std::mutex mutex;
    std::vector<std::unique_ptr<ImgLibThreadRecord>> records;
};

RecordList& recordList()
{
    static RecordList list;
    return list;
}

thread_local ImgLibThreadRecord* t_record = nullptr;

struct ErrorText {
    int code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "No error"},
    {1, "Out of memory"},
    {2, "Error on file open"},
    {3, "Error on file read"},
    {4, "Error on file write"},
    {5, "Bad user param"},
    {6, "Bad BMP file"},
    {7, "We don't do RLE BMP files"},
    {8, "Bad GIF file"},
    {9, "Bad jpg file"},
    {10, "Device error"},
    {11, "GetDIBits error"},
    {12, "No GIF support.."},
    {13, "Resource Not Found"},
    {14, "Operation cancelled by callback"},
    {15, "Bad PNG file"},
    {16, "Internal PNG creation error - possibly bad params"},
    {17, "Internal ImgLib error"},
    {18, "Font creation error"},
    {19, "Misc internal TIFF error"},
    {20, "Bad TIF file"},
    {21, "TIFF-LZW images are not supported"},
    {22, "Invalid PCX image"},
    {23, "A call to the fn CreateCompatibleBitmap failed"},
    {24, "End of an image while using single-line de/compression"},
    {25, "Error during a call to GetDIBits"},
    {26, "Device does not support an operation required by this function"},
    {27, "Invalid windows metafile"},
    {28, "The file was not of the requested bit-depth"},
    {29, "A call to BitBlt failed"},
    {30, "Output buffer is too small for this operation"},
    {31, "Not enough room in the output palette to store the colors from this image"},
    {35, "Invalid TGA File"},
    {36, "No TGA Thumbnail in the file"},
    {37, "Invalid WMF file"},
    {38, "Attempted to read Gif87a as a multi-framed GIF"},
    {39, "A call to the fn CreateDIBitmap failed"},
    {40, "LZW de/compression has not been activated"},
};

std::string errorText(int code, bool viewer)
{
    // These three stand alone, without the "Image Error (n): " prefix.
    if (code == 10 || code == 11 || code == 13) {
        for (const ErrorText& e : kErrorTexts)
            if (e.code == code)
                return e.text;
    }
    char prefix[40];
    std::snprintf(prefix, sizeof prefix, "Image Error (%d): ", code);
    std::string text = prefix;
    const bool viewerLacks = code == 31 || (code >= 37 && code <= 40);
    if (!(viewer && viewerLacks)) {
        for (const ErrorText& e : kErrorTexts) {
            if (e.code == code)
                return text + e.text;
        }
    }
    return text + "Undefined Error";
}

} // namespace

ImgLibThreadRecord& ImgLibThreadState()
{
    if (t_record)
        return *t_record;
    RecordList& list = recordList();
    std::unique_ptr<ImgLibThreadRecord> record(new (std::nothrow) ImgLibThreadRecord());
    if (!record)
        throw ThreadRecordError();
    try {
        std::lock_guard<std::mutex> lock(list.mutex);
        list.records.push_back(std::move(record));
        t_record = list.records.back().get();
    } catch (const std::bad_alloc&) {
        throw ThreadRecordError();
    }
    return *t_record;
}

int ImgLibGetLastError()
{
    return ImgLibThreadState().lastError;
}

std::string ImageLibraryErrorText(int code)
{
    return errorText(code, false);
}

std::string ImageViewerErrorText(int code)
{
    return errorText(code, true);
}

} // namespace vistrel
