// The logo resource as the program registers it.

#include <QDirIterator>
#include <QImage>
#include <QResource>
#include <QSet>
#include <QtTest>

namespace {

QSet<QString> resourcePaths()
{
    QSet<QString> paths;
    QDirIterator it(QStringLiteral(":/"), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.insert(it.next());
    return paths;
}

} // namespace

class tst_shellResources : public QObject
{
    Q_OBJECT

private slots:
    void logoDecodesWithRealTransparency();
    void logoIsStoredAsTheFileOnDisk();
    void ownTreeHoldsOnlyTheLogo();
};

void tst_shellResources::logoDecodesWithRealTransparency()
{
    const QImage logo(QStringLiteral(":/logo.png"));
    QVERIFY(!logo.isNull());
    QCOMPARE(logo.size(), QSize(661, 157));
    QVERIFY(logo.hasAlphaChannel());

    int clear = 0, solid = 0;
    for (int y = 0; y < logo.height(); ++y)
        for (int x = 0; x < logo.width(); ++x) {
            const int alpha = qAlpha(logo.pixel(x, y));
            clear += alpha == 0;
            solid += alpha == 255;
        }
    QVERIFY2(clear > logo.width() * logo.height() / 4, "the background is not transparent");
    QVERIFY2(solid > 1000, "the artwork has no solid parts");
}

void tst_shellResources::logoIsStoredAsTheFileOnDisk()
{
    const QResource resource(QStringLiteral(":/logo.png"));
    QVERIFY(resource.isValid());
#if QT_VERSION >= QT_VERSION_CHECK(5, 13, 0)
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
#else
    QVERIFY(!resource.isCompressed());
#endif
    // Only resource format 2 and later record a modification time.
    QVERIFY(resource.lastModified().isValid());

    QFile source(QStringLiteral(LOGO_SOURCE_FILE));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray onDisk = source.readAll();
    QCOMPARE(resource.size(), qint64(onDisk.size()));
    QVERIFY(QByteArray::fromRawData(reinterpret_cast<const char *>(resource.data()), int(resource.size())) == onDisk);
}

void tst_shellResources::ownTreeHoldsOnlyTheLogo()
{
    // Qt registers resources of its own under ":/" (qt-project.org, qpdf, ...)
    // and which ones varies between versions, so the program's tree is what
    // disappears when its resource is unregistered.
    const QSet<QString> withLogo = resourcePaths();
    Q_CLEANUP_RESOURCE(resources);
    const QSet<QString> withoutLogo = resourcePaths();
    const QStringList rootWithout = QDir(QStringLiteral(":/")).entryList(QDir::AllEntries | QDir::Hidden);
    Q_INIT_RESOURCE(resources);
    const QStringList rootWith = QDir(QStringLiteral(":/")).entryList(QDir::AllEntries | QDir::Hidden);

    QCOMPARE(withLogo - withoutLogo, QSet<QString>({QStringLiteral(":/logo.png")}));
    QCOMPARE(withoutLogo - withLogo, QSet<QString>());
    QStringList added = rootWith;
    for (const QString &entry : rootWithout)
        added.removeOne(entry);
    QCOMPARE(added, QStringList({QStringLiteral("logo.png")}));
    QVERIFY(QFile::exists(QStringLiteral(":/logo.png")));
}

QTEST_MAIN(tst_shellResources)
#include "tst_shellResources.moc"
