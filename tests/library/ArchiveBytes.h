#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

/// libarchive on the test's side: listing what a library file holds, and writing
/// archives that the program itself would never write.

/// One member of an archive as a reader sees it.
struct Member
{
    QByteArray path;
    QByteArray data;
    qint64 fileType = 0;
    qint64 permissions = 0;
    qint64 mtime = -1;
    qint64 uid = -1;
    qint64 gid = -1;

    bool operator==(const Member& o) const
    {
        return path == o.path && data == o.data && fileType == o.fileType && permissions == o.permissions
            && mtime == o.mtime && uid == o.uid && gid == o.gid;
    }
};

/// The members of a (gzip-compressed) tar archive, up to the first damage. `format`
/// receives libarchive's format code of the archive.
QList<Member> listMembers(const QByteArray& bytes, int* format = nullptr);

/// A pax archive of the given members (name, data, name, data, ...), regular files
/// with permissions 0644, gzip-compressed unless told otherwise.
QByteArray makeArchive(const QByteArrayList& namesAndData, bool compressed = true);
/// The bytes gzip-compressed, without any tar structure added.
QByteArray gzip(const QByteArray& raw);

/// A ustar header block for a regular file that claims `size` bytes of data.
QByteArray tarHeader(const QByteArray& name, qint64 size);
/// A header with its data, padded to whole blocks.
QByteArray tarMember(const QByteArray& name, const QByteArray& data);
/// The two zero blocks that end a tar archive.
QByteArray endOfTar();
