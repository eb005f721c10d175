#include "platform/WinPicture.h"

#include <cstring>
#include <new>

#include "platform/WinLate.h"

namespace setup::win {
namespace {

// ntdll is in every process, so this is no import of the program's.
constexpr USHORT kFormatLznt1 = 2;  // COMPRESSION_FORMAT_LZNT1

std::optional<picture::Image> LoadStoredPicture(int id)
{
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* data = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
    const DWORD size = found ? ::SizeofResource(module, found) : 0;
    const auto header = data ? picture::ReadHeader(data, size) : std::nullopt;
    const auto decompress = Window().rtlDecompressBuffer;
    if (!header || !decompress) return std::nullopt;

    std::vector<std::uint8_t> rows(std::size_t(header->width) * std::size_t(header->height) * 3);
    std::vector<std::uint8_t> packed(data + picture::kHeaderSize, data + size);
    ULONG written = 0;
    const LONG status = decompress(kFormatLznt1, rows.data(), static_cast<ULONG>(rows.size()), packed.data(),
                                   static_cast<ULONG>(packed.size()), &written);
    if (status < 0 || written != rows.size()) return std::nullopt;
    return picture::FromStoredRows(rows, *header);
}

}  // namespace

StoredPictureLoad::StoredPictureLoad(int id, Work ahead, Work after)
    : m_id(id), m_ahead(ahead), m_after(after)
{
}

void StoredPictureLoad::Start(picture::Size shown)
{
    if (m_thread || m_aheadDone) return;
    m_shownSize = shown;
    m_ready.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (m_ready) m_thread.reset(::CreateThread(nullptr, 0, &StoredPictureLoad::Run, this, 0, nullptr));
}

StoredPictureLoad::~StoredPictureLoad()
{
    if (m_thread) ::WaitForSingleObject(m_thread.get(), INFINITE);
}

DWORD WINAPI StoredPictureLoad::Run(void* self)
{
    auto& load = *static_cast<StoredPictureLoad*>(self);
    if (load.m_ahead) load.m_ahead();
    load.m_aheadDone = true;
    try {
        load.m_picture = LoadStoredPicture(load.m_id);
        load.m_done = true;
        const picture::Size shown = load.m_shownSize;
        if (load.m_picture && shown.width > 0 && shown.height > 0)
            load.m_shown.reset(MakeBitmap(picture::Scale(*load.m_picture, shown.width, shown.height)));
    } catch (const std::bad_alloc&) {
    }
    ::SetEvent(load.m_ready.get());
    if (load.m_after) load.m_after();
    load.m_afterDone = true;
    return 0;
}

std::optional<picture::Image> StoredPictureLoad::Take()
{
    if (m_thread) ::WaitForSingleObject(m_ready.get(), INFINITE);
    if (!m_aheadDone && m_ahead) m_ahead();  // no thread
    m_aheadDone = true;
    if (!m_done) m_picture = LoadStoredPicture(m_id);  // no thread, or it ran out of memory
    m_done = false;
    return std::move(m_picture);
}

void StoredPictureLoad::Finish()
{
    if (m_thread) ::WaitForSingleObject(m_thread.get(), INFINITE);
    m_thread.reset();
    if (!m_afterDone && m_after) m_after();  // no thread
    m_afterDone = true;
}

HBITMAP MakeBitmap(const picture::Image& image)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // rows from the top
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) std::memcpy(bits, image.pixels.data(), image.pixels.size() * sizeof image.pixels[0]);
    return bitmap;
}

}  // namespace setup::win
