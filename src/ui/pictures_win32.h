#pragma once
// The window's pictures, loaded from the program's resources, each owned by one object.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

namespace mjr {

// One GDI object (bitmap, font), deleted once.
template <typename T>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T object) noexcept : object_(object) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& o) noexcept : object_(o.object_) { o.object_ = nullptr; }
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) {
            reset();
            object_ = o.object_;
            o.object_ = nullptr;
        }
        return *this;
    }
    ~GdiObject() { reset(); }
    T get() const noexcept { return object_; }
    void reset() noexcept {
        if (object_) DeleteObject(object_);
        object_ = nullptr;
    }

private:
    T object_ = nullptr;
};

class IconHandle {
public:
    IconHandle() = default;
    explicit IconHandle(HICON icon) noexcept : icon_(icon) {}
    IconHandle(const IconHandle&) = delete;
    IconHandle& operator=(const IconHandle&) = delete;
    IconHandle(IconHandle&& o) noexcept : icon_(o.icon_) { o.icon_ = nullptr; }
    IconHandle& operator=(IconHandle&& o) noexcept {
        if (this != &o) {
            if (icon_) DestroyIcon(icon_);
            icon_ = o.icon_;
            o.icon_ = nullptr;
        }
        return *this;
    }
    ~IconHandle() {
        if (icon_) DestroyIcon(icon_);
    }
    HICON get() const noexcept { return icon_; }

private:
    HICON icon_ = nullptr;
};

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

}  // namespace mjr
