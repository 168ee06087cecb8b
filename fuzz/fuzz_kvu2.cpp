// A KVU2 firmware update file as the update dialog opens it, and every question the
// dialog and the update request ask of it.

#include "FuzzQt.h"

#include "FirmwareUpdateFile.h"

using korvane::KVP::FirmwareUpdateFile;

namespace {

void touchBlock(const FirmwareUpdateFile::Block& block)
{
    fuzz::touch(block.data, block.data ? block.length : 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::initQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FirmwareUpdateFile file;
    const bool valid = file.load(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
                                 QStringLiteral("update.kv2"));
    fuzz::touch(valid + 2LL * file.isValid() + 4LL * file.cannotOpen());
    const int count = file.sectorCount();
    fuzz::touch(count);
    touchBlock(file.headerBlock());
    // One index beyond each end too: the update request never asks for them, but a
    // sector() that answers them must still stay inside the buffer.
    for (int i = -1; i <= count; ++i) {
        touchBlock(file.sector(i));
    }
    fuzz::touch(file.checksum());
    fuzz::touch(file.transferSize());
    fuzz::touch(file.modelName());
    fuzz::touch(file.containsUpdateFor(QStringLiteral("QRD-540B"))
                + 2LL * file.containsUpdateFor(QStringLiteral("QRD-780")));
    fuzz::touch(file.statusHtml(QStringLiteral("QRD-540B")));
    fuzz::touch(file.statusHtml(QStringLiteral("QRD-780")));
    fuzz::touch(file.statusHtml(QString()));
    fuzz::touch(file.fileName());
    return 0;
}
