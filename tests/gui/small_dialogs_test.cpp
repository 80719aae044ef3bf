// Output Properties, View IRP Range and About, answered in place through a
// scripted runner: the flags round trip, the range refusals and the
// decimal conversion.

#include "gui/small_dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "document/string_table.h"
#include "support/gui_doubles.h"

using namespace vantrel;
using guitest::CScriptedDialogRunner;
using guitest::CScriptedPrompts;

namespace {

const uint32_t kBits[] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20};

QStringList TickedTexts(const COutputPropertiesDlg& dialog) {
    QStringList ticked;
    for (uint32_t bit : kBits) {
        if (dialog.Box(bit)->isChecked()) ticked << dialog.Box(bit)->text();
    }
    ticked.sort();
    return ticked;
}

}  // namespace

class SmallDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void outputPropertiesShowsTheFlags() {
        COutputPropertiesDlg all(0x3F);
        QCOMPARE(TickedTexts(all).size(), 6);
        COutputPropertiesDlg some(0x05);
        QCOMPARE(TickedTexts(some),
                 (QStringList{QStringLiteral("&Description"), QStringLiteral("&Major Code")}));
        QCOMPARE(some.Box(0x02)->text(), QStringLiteral("IRP &Latency"));
        QCOMPARE(some.Box(0x08)->text(), QStringLiteral("Mi&nor Code"));
        QCOMPARE(some.Box(0x10)->text(), QStringLiteral("&Object Name"));
        QCOMPARE(some.Box(0x20)->text(), QStringLiteral("IRP &Parameters"));
        QCOMPARE(some.windowTitle(), QStringLiteral("Output Properties"));
        some.show();
        guitest::SaveShot(some, QStringLiteral("output_properties"));
    }

    void outputPropertiesRoundTrip() {
        CScriptedDialogRunner runner;
        runner.script = [](QDialog& d) {
            QTest::mouseClick(static_cast<COutputPropertiesDlg&>(d).OkButton(), Qt::LeftButton);
        };
        QCOMPARE(RunOutputProperties(runner, nullptr, 0x3F), std::optional<uint32_t>(0x3F));
        QCOMPARE(RunOutputProperties(runner, nullptr, 0x05), std::optional<uint32_t>(0x05));
        // Bits that are not output fields do not come back.
        QCOMPARE(RunOutputProperties(runner, nullptr, 0x45), std::optional<uint32_t>(0x05));

        // Keyboard: the mnemonic ticks Latency, Enter confirms.
        runner.script = [](QDialog& d) {
            QTest::keyClick(&d, Qt::Key_L, Qt::AltModifier);
            QTRY_VERIFY(static_cast<COutputPropertiesDlg&>(d).Box(0x02)->isChecked());
            QTest::keyClick(&d, Qt::Key_Return);
        };
        QCOMPARE(RunOutputProperties(runner, nullptr, 0x05), std::optional<uint32_t>(0x07));

        runner.script = [](QDialog& d) {
            auto& dialog = static_cast<COutputPropertiesDlg&>(d);
            for (uint32_t bit : kBits) dialog.Box(bit)->setChecked(false);
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        };
        QCOMPARE(RunOutputProperties(runner, nullptr, 0x3F), std::optional<uint32_t>(0));

        runner.script = [](QDialog& d) {
            auto& dialog = static_cast<COutputPropertiesDlg&>(d);
            dialog.Box(0x01)->setChecked(false);
            QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        };
        QCOMPARE(RunOutputProperties(runner, nullptr, 0x3F), std::nullopt);
    }

    void iconButtonsKeepTheirNames() {
        COutputPropertiesDlg dialog(0);
        QCOMPARE(dialog.OkButton()->accessibleName(), QStringLiteral("OK"));
        QCOMPARE(dialog.CancelButton()->accessibleName(), QStringLiteral("Cancel"));
        QVERIFY(!dialog.OkButton()->icon().isNull());
        QVERIFY(dialog.OkButton()->isDefault());
        QCOMPARE(dialog.OkButton()->iconSize(), QSize(56, 34));
    }

    void decimalConversionIsStrtols() {
        QCOMPARE(DecimalTextValue("5"), 5);
        QCOMPARE(DecimalTextValue("  \t+42x7"), 42);
        QCOMPARE(DecimalTextValue("-3"), -3);
        QCOMPARE(DecimalTextValue("abc"), 0);
        QCOMPARE(DecimalTextValue(""), 0);
        QCOMPARE(DecimalTextValue("- 5"), 0);
        QCOMPARE(DecimalTextValue("0x10"), 0);
        QCOMPARE(DecimalTextValue("99999999999"), 2147483647);
        QCOMPARE(DecimalTextValue("-99999999999"), -2147483647 - 1);
    }

    void rangeRefusalsKeepTheDialogOpen_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("zero") << "0"
                              << "10";
        QTest::newRow("negative") << "-3"
                                  << "10";
        QTest::newRow("letters") << "abc"
                                 << "10";
        QTest::newRow("end below start") << "20"
                                         << "19";
        QTest::newRow("empty") << ""
                               << "";
    }

    void rangeRefusalsKeepTheDialogOpen() {
        QFETCH(QString, start);
        QFETCH(QString, end);
        CScriptedPrompts prompts;
        CScriptedDialogRunner runner;
        runner.script = [&](QDialog& d) {
            auto& dialog = static_cast<CIrpRangeDlg&>(d);
            dialog.SetTexts(start, end);
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        };
        QCOMPARE(RunIrpRange(runner, nullptr, prompts, 300), std::nullopt);
        QVERIFY(runner.leftOpen);
        QCOMPARE(prompts.messages.size(), size_t(1));
        QCOMPARE(prompts.messages[0].first, uint32_t(IDS_BAD_RANGE));
    }

    void rangeAcceptsOneRecordAndTypedValues() {
        CScriptedPrompts prompts;
        CScriptedDialogRunner runner;
        runner.script = [&](QDialog& d) {
            auto& dialog = static_cast<CIrpRangeDlg&>(d);
            dialog.StartEdit()->clear();
            dialog.EndEdit()->clear();
            QTest::keyClicks(dialog.StartEdit(), "5");
            QTest::keyClicks(dialog.EndEdit(), "5");
            QTest::keyClick(dialog.EndEdit(), Qt::Key_Return);
        };
        const auto range = RunIrpRange(runner, nullptr, prompts, 300);
        QVERIFY(range.has_value());
        QCOMPARE(range->start, 5);
        QCOMPARE(range->end, 5);
        QVERIFY(prompts.messages.empty());

        // A refusal, then a correction, then OK.
        runner.script = [&](QDialog& d) {
            auto& dialog = static_cast<CIrpRangeDlg&>(d);
            dialog.SetTexts(QStringLiteral("0"), QStringLiteral("99999"));
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
            dialog.SetTexts(QStringLiteral(" 1"), QStringLiteral("99999"));
            QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
        };
        const auto corrected = RunIrpRange(runner, nullptr, prompts, 300);
        QVERIFY(corrected.has_value());
        QCOMPARE(corrected->start, 1);
        QCOMPARE(corrected->end, 99999);  // the caller limits it to the records held
        QCOMPARE(prompts.messages.size(), size_t(1));
    }

    void rangeProposesTheLastThousand() {
        QCOMPARE(ProposedRangeTexts(2500),
                 (std::pair{QStringLiteral("1500"), QStringLiteral("2500")}));
        QCOMPARE(ProposedRangeTexts(300), (std::pair{QStringLiteral("1"), QStringLiteral("300")}));
        QCOMPARE(ProposedRangeTexts(1000),
                 (std::pair{QStringLiteral("1"), QStringLiteral("1000")}));
        QCOMPARE(ProposedRangeTexts(1001),
                 (std::pair{QStringLiteral("1"), QStringLiteral("1001")}));

        CScriptedPrompts prompts;
        CScriptedDialogRunner runner;
        QString shownStart;
        QString shownEnd;
        runner.script = [&](QDialog& d) {
            auto& dialog = static_cast<CIrpRangeDlg&>(d);
            shownStart = dialog.StartText();
            shownEnd = dialog.EndText();
            guitest::SaveShot(dialog, QStringLiteral("irp_range"));
            QTest::keyClick(&dialog, Qt::Key_Escape);
        };
        QCOMPARE(RunIrpRange(runner, nullptr, prompts, 2500), std::nullopt);
        QCOMPARE(shownStart, QStringLiteral("1500"));
        QCOMPARE(shownEnd, QStringLiteral("2500"));
        QVERIFY(!runner.leftOpen);
    }

    void aboutBoxTexts() {
        CScriptedDialogRunner runner;
        QStringList texts;
        runner.script = [&](QDialog& d) {
            for (QLabel* label : d.findChildren<QLabel*>()) texts << label->text();
            QCOMPARE(d.windowTitle(), QStringLiteral("About Vantrel"));
            guitest::SaveShot(d, QStringLiteral("about"));
            QTest::keyClick(&d, Qt::Key_Return);
        };
        RunAboutBox(runner, nullptr);
        QVERIFY(texts.contains(QStringLiteral("Vantrel")));
        QVERIFY(texts.contains(QStringLiteral("Release 1.2 08/09/99")));
        QVERIFY(!runner.leftOpen);
    }
};

QTEST_MAIN(SmallDialogsTest)
#include "small_dialogs_test.moc"
