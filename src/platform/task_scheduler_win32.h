#pragma once
// What the package's helper and the doctor's --try share to reach the Task Scheduler: COM
// pointers and texts of this program's own, each released once, and the root folder. Windows
// side only; the including file has <windows.h>, and <initguid.h> before <taskschd.h> where the
// Task Scheduler's ids are defined.
#include <oleauto.h>
#include <taskschd.h>

#include <string>
#include <string_view>

namespace mjr {

template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ~ComPointer() { reset(); }
    Interface** out() noexcept { return &pointer_; }
    void reset() noexcept {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = nullptr;
    }
    Interface* operator->() const noexcept { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

// A BSTR, freed once: made from a text to pass in, or given by a call through out().
class ComText {
public:
    ComText() = default;
    explicit ComText(std::wstring_view text)
        : text_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ComText(const ComText&) = delete;
    ComText& operator=(const ComText&) = delete;
    ~ComText() { ::SysFreeString(text_); }
    BSTR get() const noexcept { return text_; }
    BSTR* out() noexcept { return &text_; }
    std::wstring text() const { return text_ ? std::wstring(text_, ::SysStringLen(text_)) : std::wstring(); }

private:
    BSTR text_ = nullptr;
};

// The Task Scheduler of this machine, connected as the caller, and its root folder; COM is
// the caller's to initialise. S_OK, or the HRESULT of the step that failed.
inline HRESULT OpenTaskRoot(ComPointer<ITaskService>& service, ComPointer<ITaskFolder>& root) {
    HRESULT result = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                        reinterpret_cast<void**>(service.out()));
    VARIANT none;
    ::VariantInit(&none);
    if (SUCCEEDED(result)) result = service->Connect(none, none, none, none);
    const ComText rootPath(L"\\");
    if (SUCCEEDED(result)) result = service->GetFolder(rootPath.get(), root.out());
    return result;
}

}  // namespace mjr
