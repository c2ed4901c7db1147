#pragma once

#include <functional>

// Makes this process's renameat2, renameat and linkat behave as on file systems that refuse some
// of them (exFAT and SMB: no exchange; NFS and many FUSE file systems: no rename flags at all;
// FAT: no hard links). Only a test that lists FileSystemRefusals.cpp among its sources gets these
// stand-ins; while nothing is refused they pass every call through to the system.
class FileSystemRefusals
{
public:
    enum Refusal {
        None = 0,
        Exchange = 1,      // renameat2 with RENAME_EXCHANGE: EINVAL
        NoReplace = 2,     // renameat2 with RENAME_NOREPLACE: EINVAL
        Links = 4,         // linkat: EPERM
        LostLinkReply = 8, // linkat links, then answers EEXIST (a lost reply on NFS)
        LinkFailsOnce = 16, // the next linkat: EIO, then this refusal is gone
    };
    static void refuse(int refusals);
    // Runs right before a renameat2, renameat or linkat goes to the system (not for one refused),
    // with the call's name and its target (folder descriptor and name).
    using BeforeCall = std::function<void(const char *call, int dir, const char *name)>;
    static void setBeforeCall(BeforeCall hook);
    // Nothing refused, no hook.
    static void reset();
};
