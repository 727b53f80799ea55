#pragma once
// The window's pictures, loaded from the program's resources, each owned by one object.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

namespace mjr {

// One window-system object, released once by its own release call.
template <typename T, auto Release>
class Win32Object {
public:
    Win32Object() = default;
    explicit Win32Object(T object) noexcept : object_(object) {}
    Win32Object(const Win32Object&) = delete;
    Win32Object& operator=(const Win32Object&) = delete;
    Win32Object(Win32Object&& o) noexcept : object_(o.object_) { o.object_ = nullptr; }
    Win32Object& operator=(Win32Object&& o) noexcept {
        if (this != &o) {
            reset();
            object_ = o.object_;
            o.object_ = nullptr;
        }
        return *this;
    }
    ~Win32Object() { reset(); }
    T get() const noexcept { return object_; }
    void reset() noexcept {
        if (object_) Release(object_);
        object_ = nullptr;
    }

private:
    T object_ = nullptr;
};

// A bitmap or font.
template <typename T>
using GdiObject = Win32Object<T, &DeleteObject>;
using IconHandle = Win32Object<HICON, &DestroyIcon>;
using MenuHandle = Win32Object<HMENU, &DestroyMenu>;

// A GIF decoded by OLE; the bitmap belongs to the picture object.
class OlePicture {
public:
    OlePicture() = default;
    OlePicture(const OlePicture&) = delete;
    OlePicture& operator=(const OlePicture&) = delete;
    OlePicture(OlePicture&& o) noexcept : picture_(o.picture_), bitmap_(o.bitmap_), size_(o.size_) {
        o.picture_ = nullptr;
        o.bitmap_ = nullptr;
    }
    OlePicture& operator=(OlePicture&& o) noexcept;
    ~OlePicture();

    static OlePicture FromRcData(HINSTANCE instance, int id);
    HBITMAP bitmap() const noexcept { return bitmap_; }
    SIZE size() const noexcept { return size_; }

private:
    IPicture* picture_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    SIZE size_{};
};

GdiObject<HBITMAP> LoadBitmapResource(HINSTANCE instance, int id);
IconHandle LoadIconResource(HINSTANCE instance, int id, int size);
// An .ico file kept as RCDATA.
IconHandle LoadIconFromRcData(HINSTANCE instance, int id, int size);
SIZE BitmapSize(HBITMAP bitmap);
// The icon's own pixel size, from its colour bitmap (or its mask, for a monochrome icon).
SIZE IconSize(HICON icon);

}  // namespace mjr
