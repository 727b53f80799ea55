#include "ui/pictures_win32.h"

#include <cstring>
#include <span>

#include "ui/icon_file.h"

namespace mjr {
namespace {

std::span<const std::uint8_t> RcData(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return {};
    HGLOBAL loaded = LoadResource(instance, found);  // resource memory lives with the module
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return {static_cast<const std::uint8_t*>(bytes), SizeofResource(instance, found)};
}

}  // namespace

OlePicture& OlePicture::operator=(OlePicture&& o) noexcept {
    if (this != &o) {
        if (picture_) picture_->Release();
        picture_ = o.picture_;
        bitmap_ = o.bitmap_;
        size_ = o.size_;
        o.picture_ = nullptr;
        o.bitmap_ = nullptr;
    }
    return *this;
}

OlePicture::~OlePicture() {
    if (picture_) picture_->Release();
}

OlePicture OlePicture::FromRcData(HINSTANCE instance, int id) {
    OlePicture result;
    const auto data = RcData(instance, id);
    if (data.empty()) return result;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, data.size());
    if (!memory) return result;
    void* target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        return result;
    }
    std::memcpy(target, data.data(), data.size());
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {  // the stream frees the memory
        GlobalFree(memory);
        return result;
    }
    IPicture* picture = nullptr;
    const HRESULT loaded = OleLoadPicture(stream, static_cast<LONG>(data.size()), FALSE, IID_IPicture,
                                          reinterpret_cast<void**>(&picture));
    stream->Release();
    if (FAILED(loaded) || !picture) return result;
    result.picture_ = picture;
    OLE_HANDLE handle = 0;
    SHORT type = PICTYPE_NONE;
    if (SUCCEEDED(picture->get_Type(&type)) && type == PICTYPE_BITMAP &&
        SUCCEEDED(picture->get_Handle(&handle))) {
        result.bitmap_ = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
        result.size_ = BitmapSize(result.bitmap_);
    }
    return result;
}

GdiObject<HBITMAP> LoadBitmapResource(HINSTANCE instance, int id) {
    return GdiObject<HBITMAP>(static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}

IconHandle LoadIconResource(HINSTANCE instance, int id, int size) {
    return IconHandle(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

IconHandle LoadIconFromRcData(HINSTANCE instance, int id, int size) {
    const auto image = FirstIconImage(RcData(instance, id));
    if (!image) return {};
    // The call only reads the bits; it takes them as non-const for history's sake.
    auto* bits = const_cast<PBYTE>(image->bytes.data());
    return IconHandle(CreateIconFromResourceEx(bits, static_cast<DWORD>(image->bytes.size()), TRUE,
                                               0x00030000, size, size, LR_DEFAULTCOLOR));
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info)) return {};
    return {info.bmWidth, info.bmHeight};
}

SIZE IconSize(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return {};
    // GetIconInfo hands over copies of both bitmaps.
    GdiObject<HBITMAP> colour(info.hbmColor), mask(info.hbmMask);
    if (colour.get()) return BitmapSize(colour.get());
    SIZE size = BitmapSize(mask.get());
    size.cy /= 2;  // a monochrome icon's mask holds the AND and the XOR image
    return size;
}

}  // namespace mjr
