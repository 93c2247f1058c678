#include "library/db/jet/jet_handle.h"

#include "library/app_error.h"
#include "library/db/jet/jet_text.h"

#include <QDir>

TJetHandle::~TJetHandle()
{
    if (Mdb)
        mdb_close(Mdb);
}

void TJetHandle::Fail(const QString& detail) const
{
    throw TAppError(QStringLiteral("无法读取诗词数据库文件 %1：%2").arg(QDir::toNativeSeparators(Path), detail));
}

void TJetHandle::RequirePage(std::uint32_t page) const
{
    if (page == 0 || page >= PageCount)
        Fail(QStringLiteral("引用了第 %1 页，而文件只有 %2 页（文件不完整或已损坏）").arg(page).arg(PageCount));
}

void TJetHandle::LoadPage(std::uint32_t page) const
{
    RequirePage(page);
    if (mdb_read_pg(Mdb, page) != PageSize)
        Fail(QStringLiteral("第 %1 页无法读取").arg(page));
}

QString TJetHandle::DecodeText(const QByteArray& bytes) const
{
    try {
        return DecodeJetText(bytes, TJetTextForm{Jet3, Jet3 ? Mdb->f->code_page : 0});
    } catch (const TAppError& error) {
        Fail(error.Message());
    }
}
