#include "ChannelSheetLayout.h"
#include "ChannelSheets.h"
#include "PdfText.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QLocale>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <set>
#include <vector>

namespace {

using Library = std::vector<std::unique_ptr<QKVFixtureDefinition>>;

// A hundredth of a pixel at the PDF's 1200 dpi: rounding, not overflow.
constexpr qreal Tolerance = 0.01;

const QString Us = QStringLiteral("en_US");
const QString Germany = QStringLiteral("de_DE");

QList<const QKVFixtureDefinition*> pointers(const Library& library)
{
    QList<const QKVFixtureDefinition*> list;
    for (const auto& definition : library) {
        list.append(definition.get());
    }
    return list;
}

/// Definition `letter` of `channels` channels, every text naming the letter.
std::unique_ptr<QKVFixtureDefinition> lettered(QChar letter, int channels)
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    definition->setName(QStringLiteral("Fixture %1").arg(letter));
    definition->setManufacturer(QStringLiteral("Maker %1").arg(letter));
    definition->setType(1);
    for (int number = 1; number <= channels; ++number) {
        definition->appendChannel(makeChannel(number, QStringLiteral("Knob%1%2").arg(letter).arg(number)));
    }
    return definition;
}

/// A definition whose every name and short name is `text`, with `channels` channels.
std::unique_ptr<QKVFixtureDefinition> filledWith(const QString& text, int channels)
{
    auto definition = std::make_unique<QKVFixtureDefinition>();
    definition->setName(text);
    definition->setManufacturer(text);
    definition->setAutoShortName(false);
    definition->setShortName(text);
    definition->setAutoManufacturerShort(false);
    definition->setManufacturerShort(text);
    for (int number = 1; number <= channels; ++number) {
        definition->appendChannel(makeChannel(number * 997, text, text, false));
    }
    return definition;
}

/// Lays `library` out for a PDF page of the locale's paper.
std::unique_ptr<ChannelSheetLayout> layOut(const Library& library, QPdfWriter& writer, const QString& locale)
{
    writer.setPageLayout(ChannelSheets::pageLayoutFor(QLocale(locale)));
    auto layout = std::make_unique<ChannelSheetLayout>(writer);
    layout->layOut(pointers(library), {QString(300, QChar(0x5d0)), QDate(2024, 2, 29)});
    return layout;
}

bool within(const QRectF& inner, const QRectF& outer)
{
    return inner.left() >= outer.left() - Tolerance && inner.right() <= outer.right() + Tolerance
        && inner.top() >= outer.top() - Tolerance && inner.bottom() <= outer.bottom() + Tolerance;
}

bool overlap(const QRectF& a, const QRectF& b)
{
    const QRectF common = a.intersected(b);
    return common.width() > Tolerance && common.height() > Tolerance;
}

/// The first text that leaves the page, crosses a sheet's frame or covers another text; empty when none does.
QString misplaced(const ChannelSheetLayout& layout)
{
    for (const SheetPage& page : layout.pages()) {
        for (size_t i = 0; i < page.texts.size(); ++i) {
            const SheetText& text = page.texts[i];
            if (text.rect.width() <= 0 || !within(text.rect, layout.pageRect())) {
                return QStringLiteral("outside the page: ") + text.text;
            }
            for (const SheetPart& part : page.parts) {
                if (overlap(text.rect, part.rect) && !within(text.rect, part.rect)) {
                    return QStringLiteral("across a frame: ") + text.text;
                }
            }
            for (size_t j = i + 1; j < page.texts.size(); ++j) {
                if (overlap(text.rect, page.texts[j].rect)) {
                    return QStringLiteral("over another: ") + text.text;
                }
            }
        }
    }
    return {};
}

/// The definitions' parts, page by page: "0 1 | 1+ 2" (a + for a continued part).
QString partsByPage(const ChannelSheetLayout& layout)
{
    QStringList pages;
    for (const SheetPage& page : layout.pages()) {
        QStringList parts;
        for (const SheetPart& part : page.parts) {
            parts << QString::number(part.definition) + (part.continued ? "+" : "");
        }
        pages << parts.join(u' ');
    }
    return pages.join(QStringLiteral(" | "));
}

} // namespace

/// Channel sheets: what the pages hold, where it lies, and the PDF a reader gets.
class TestChannelSheets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pdfReadsBackInOrder_data()
    {
        QTest::addColumn<QList<int>>("channels");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("pages");
        QTest::newRow("three small sheets share a page") << QList<int> {3, 5, 2} << Germany << 1;
        QTest::newRow("45 channels fit an A4 page") << QList<int> {45} << Germany << 1;
        QTest::newRow("45 channels fit a Letter page") << QList<int> {45} << Us << 1;
        QTest::newRow("a sheet that does not fit starts a page") << QList<int> {2, 45} << Us << 2;
        QTest::newRow("no definition: a page with its header") << QList<int> {} << Germany << 1;
    }

    void pdfReadsBackInOrder()
    {
        QFETCH(QList<int>, channels);
        QFETCH(QString, locale);
        QFETCH(int, pages);
        if (!havePoppler()) {
            QSKIP("pdftotext and pdfinfo (poppler-utils) are not installed");
        }
        Library library;
        QStringList expected {QStringLiteral("library.kvfl")};
        for (int i = 0; i < channels.size(); ++i) {
            library.push_back(lettered(QChar(u'A' + i), channels[i]));
            expected << library.back()->name() << library.back()->manufacturer();
            for (const QKVFixtureChannel* channel : library.back()->channels()) {
                expected << channel->name();
            }
        }
        const QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("sheets.pdf"));
        QString error;
        QCOMPARE(ChannelSheets::writePdf(path,
                                         pointers(library),
                                         {QStringLiteral("library.kvfl"), QDate(2024, 2, 29)},
                                         ChannelSheets::pageLayoutFor(QLocale(locale)),
                                         error),
                 pages);
        QCOMPARE(pdfPages(path), pages);
        const QString text = pdfText(path);
        QCOMPARE(missingInOrder(text, expected), QString());
        // pdftotext drops the thin spaces around the slash.
        QVERIFY(QString(text).remove(u' ').contains(QStringLiteral("%1/%1").arg(pages)));
    }

    void hostileTextStaysInItsBox_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("one long word") << QString(400, u'W');
        QTest::newRow("long words") << QStringLiteral("Moving Head Spotlight ").repeated(25);
        QTest::newRow("Arabic") << QStringLiteral("رأس متحرك بإضاءة قوية جداً ").repeated(15);
        QTest::newRow("Hebrew, no spaces") << QStringLiteral("ראשנעעםתאורהחזקה").repeated(20);
        QTest::newRow("mixed directions") << QStringLiteral("Spot 250 رأس متحرك (Basic) ראש נע ").repeated(10);
        QTest::newRow("CJK") << QStringLiteral("移動ヘッドライト照明器具").repeated(15);
        QTest::newRow("emoji and marks") << QStringLiteral("🎛️e\u0301\u200f").repeated(80);
        QTest::newRow("line ends and tabs") << QStringLiteral("Dimmer\nFine\tStrobe\r\n\u2028").repeated(20);
    }

    void hostileTextStaysInItsBox()
    {
        QFETCH(QString, text);
        Library library;
        library.push_back(filledWith(text, 45));
        library.push_back(filledWith(text.left(30), 3));
        for (const QString& locale : {Us, Germany}) {
            QBuffer buffer;
            QPdfWriter writer(&buffer);
            const auto layout = layOut(library, writer, locale);
            QCOMPARE(misplaced(*layout), QString());
        }
    }

    void randomLibrariesStayInTheirBoxes()
    {
        Random random(21);
        Library library;
        for (int i = 0; i < 60; ++i) {
            library.push_back(randomDefinition(random));
        }
        QBuffer buffer;
        QPdfWriter writer(&buffer);
        const auto layout = layOut(library, writer, Germany);
        QCOMPARE(misplaced(*layout), QString());
    }

    void sheetsShareAPageWithoutBeingSplit()
    {
        Library library;
        for (int i = 0; i < 12; ++i) {
            library.push_back(lettered(QChar(u'A' + i), 10));
        }
        QBuffer buffer;
        QPdfWriter writer(&buffer);
        const auto layout = layOut(library, writer, Germany);
        const QString parts = partsByPage(*layout);
        // Each definition once, none continued, several to the first of more than one page.
        QCOMPARE(parts.split(QRegularExpression(QStringLiteral("[ |]+"))).size(), 12);
        QVERIFY2(!parts.contains(u'+'), qPrintable(parts));
        QVERIFY2(layout->pages().size() > 1 && layout->pages().front().parts.size() > 1, qPrintable(parts));
    }

    void sheetLongerThanAPageGoesOnWithItsTableHead()
    {
        Library library;
        library.push_back(lettered(u'A', 2));
        library.push_back(filledWith(QStringLiteral("Colour wheel rotation speed and direction ").repeated(2), 45));
        library.push_back(lettered(u'B', 2));
        QBuffer buffer;
        QPdfWriter writer(&buffer);
        const auto layout = layOut(library, writer, Us);
        QCOMPARE(partsByPage(*layout), QStringLiteral("0 | 1 | 1+ 2"));
        QStringList second;
        for (const SheetText& text : layout->pages().at(2).texts) {
            second << text.text;
        }
        QVERIFY2(second.contains(QStringLiteral("Ch")) && second.contains(QStringLiteral("Short name")),
                 qPrintable(second.join(u'|')));
    }

    void letterWhereTheCountryUsesIt_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("size");
        QTest::newRow("United States") << Us << int(QPageSize::Letter);
        QTest::newRow("Canada, French") << QStringLiteral("fr_CA") << int(QPageSize::Letter);
        QTest::newRow("Mexico") << QStringLiteral("es_MX") << int(QPageSize::Letter);
        QTest::newRow("Germany") << Germany << int(QPageSize::A4);
    }

    void letterWhereTheCountryUsesIt()
    {
        QFETCH(QString, locale);
        QFETCH(int, size);
        QCOMPARE(int(ChannelSheets::pageSizeFor(QLocale(locale)).id()), size);
    }
};

QTEST_MAIN(TestChannelSheets)
#include "TestChannelSheets.moc"
