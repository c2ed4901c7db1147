#include "sync/SyncReason.h"

namespace {

// Indexed by code; "%1" marks where the argument goes.
const char *const kTexts[] = {
    "",
    "(Ta) object type mismatch",
    "(Ta) object type not supported: '%1'",
    "(X) skip (silent exclude)",
    "(S) excluded due to local file size (%1)",
    "(S) excluded due to remote file size (%1)",
    "(Hf) folder: object_id changed",
    "(O) sync: dir exists on both sides",
    "(Yl) symbolic link: not synchronised",
    "(Yc) name collision",
    "(Yu) local folder could not be listed completely: no deletion",
    "(C) initial sync: dir exists only on local side",
    "(D) initial sync: file exists only on local side",
    "(E) initial sync: dir exists only on remote side",
    "(F) initial sync: file exists only on remote side",
    "(G) initial sync: dir exists on both sides",
    "(J) sync: dir does not exist on both sides",
    "(I) sync: file does not exist on both sides",
    "(K) sync: dir no longer exists on remote side",
    "(La) sync: file no longer exists on remote side",
    "(Lb) sync: file no longer exists on remote side but changed on local side",
    "(M) sync: dir no longer exists on local side",
    "(N) sync: file no longer exists on local side",
    "(He) initial sync: file sizes are different",
    "(Ha) initial sync: sizes match, but remote checksum not available: assume equality",
    "(Hb) initial sync: cannot calculate local file checksum",
    "(Hc) initial sync: file checksum is identical",
    "(Hd) initial sync: file checksum is different",
    "(Z)",
    "(Z1) file: sizes same, stored last local mtime is empty",
    "(Z2) file: sizes same, local mtime is empty",
    "(Z3) file: sizes same, stored last remote mtime is empty",
    "(Z4) file: sizes same, remote mtime is empty",
    "(D6) file: size and mtime unchanged, remote checksum changed",
    "(N1) file: size unchanged, mtime unchanged",
    "(Hf) file: object_id changed",
    "(B8) file: local size changed, remote size and mtime unchanged, remote checksum changed",
    "(U1) file: local size changed, local mtime updated",
    "(U2) file: local size changed, local mtime backdated",
    "(U3) file: local size changed, local mtime unchanged",
    "(D1) file: remote size changed, remote mtime updated",
    "(D2) file: remote size changed, remote mtime backdated",
    "(D3) file: remote size changed, remote mtime unchanged",
    "(Z5) file: sizes same, mtime changed, remote checksum not available",
    "(Z6) file: sizes same, mtime changed, failed to calculate local checksum",
    "(N2) file: local size changed, remote size changed, local checksum equals remote checksum",
    "(B1) file: local size changed, remote size changed, local and remote checksum differ",
    "(N3) file: sizes same, mtime changed, checksums same",
    "(D4) file: sizes same, local checksum same, remote checksum changed",
    "(U4) file: sizes same, local checksum changed, remote checksum same",
    "(B2) file: sizes same, local checksum changed, remote checksum changed",
    "(U5) file: sizes same, checksums different, remote mtime unchanged, local mtime updated",
    "(D5) file: sizes same, checksums different, remote mtime updated, local mtime unchanged",
    "(B3) file: sizes same, checksums different, local mtime updated, remote mtime updated",
    "(B4) file: sizes same, checksums different, local mtime updated, remote mtime backdated",
    "(B5) file: sizes same, checksums different, local mtime backdated, remote mtime updated",
    "(B6) file: sizes same, checksums different, local mtime backdated, remote mtime backdated",
    "(B7) file: local mtime updated, remote mtime updated",
    "(Z9) file attributes conflict:%1",
    "Sync action is undefined (internal error)",
    "Sync action status is undefined (internal error)",
    "%1",
};

static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == SyncReason::Text + 1, "one text per code");

} // namespace

QString SyncReason::text(Code code, const QString &argument)
{
    if (code == Text) {
        return argument;
    }
    if (code > Text) {
        return QString();
    }
    const QString text = QString::fromLatin1(kTexts[code]);
    return takesArgument(code) ? text.arg(argument) : text;
}

bool SyncReason::takesArgument(Code code)
{
    switch (code) {
    case SLocal:
    case SRemote:
    case TaUnsupported:
    case Text:
    case Z9:
        return true;
    default:
        return false;
    }
}
