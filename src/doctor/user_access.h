#pragma once
// Asks Windows who besides the administrators can change the files and folders a profile
// names, once a path per run; the verdict on one descriptor is privilege/descriptor_rights.h's.
#include <map>
#include <string>

#include "platform/platform.h"
#include "privilege/descriptor_rights.h"

namespace mjr::doctor {

// Asks Windows who can change files and folders, once a path per run. Give it only paths the
// gate (path_reach.h) lets the doctor touch.
class UserAccessCheck {
public:
    struct Finding {
        // ReparsePoint: a junction or link on the way, which may lead anywhere; Unfinished: a
        // pattern's walk stopped at its limits; RemovableDrive: whoever swaps the medium decides
        // what is on it. All count as open.
        enum What { Closed, Changeable, NoPermissionsOnDrive, Unreadable, ReparsePoint, Unfinished, RemovableDrive } what = Closed;
        std::wstring path;
        ObjectKind kind = ObjectKind::File;
        Dword rights = 0;  // Changeable: what ordinary users may do
        Dword error = 0;   // Unreadable: the answer of the call that failed
        std::wstring missing;  // what does not exist on the way; `path` is the folder it would be made in
    };

    explicit UserAccessCheck(Platform& platform) : platform_(platform) {}

    // One file or folder.
    Finding Check(const std::wstring& path, ObjectKind kind);
    // The drive's root, then each folder down to the object at `path`: the first that ordinary
    // users can change, whose permissions cannot be read, or that is a reparse point; nothing
    // past it is touched. Where a folder or the object does not exist, the deepest folder
    // that does is open when ordinary users may make it there. Closed when none.
    Finding FirstOpen(const std::wstring& path, ObjectKind kind);
    // "the folder "C:\Games" lets ordinary users add files, delete it", for a report.
    static std::wstring Describe(const Finding& finding);

private:
    Finding Read(const std::wstring& path);

    Platform& platform_;
    std::map<std::wstring, Finding> checked_;
    std::map<std::wstring, Finding::What> drives_;  // by root: Closed, or why the whole drive is open
};

}  // namespace mjr::doctor
