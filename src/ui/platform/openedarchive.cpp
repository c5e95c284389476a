#include "ui/platform/openedarchive.h"

namespace {
const QString &setDbpath(AppContext &ctx) {
    ctx.state.dbpath = ctx.folder.archivePath();
    return ctx.state.dbpath;
}
} // namespace

OpenedArchive::OpenedArchive(AppContext &ctx) : Archive(setDbpath(ctx)) {
    setReadOnly(ctx.state.archiveReadOnly);
    open();
}
