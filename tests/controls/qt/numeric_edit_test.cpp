// Typed sequences into the numeric entry field: what reaches the text, what is
// discarded, and which editing keys keep working.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "controls/qt/numeric_edit.h"

using quorvane::CNumericEdit;

namespace {
enum class Caret { End, Start, SelectAll };
}
Q_DECLARE_METATYPE(Caret)

class NumericEditTest : public QObject {
  Q_OBJECT

 private slots:
  void typedSequences_data();
  void typedSequences();
  void clipboardAndUndoShortcutsHaveNoEffect();
  void nonTypingKeysEditAsUsual();
  void pastedTextPassesTheTypedRule_data();
  void pastedTextPassesTheTypedRule();
};

void NumericEditTest::typedSequences_data() {
  QTest::addColumn<QString>("start");
  QTest::addColumn<Caret>("caret");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("expected");

  QTest::newRow("minus into empty field") << "" << Caret::End << "-"
                                          << "-";
  QTest::newRow("point first is discarded") << "" << Caret::End << "."
                                            << "";
  QTest::newRow("digit into empty field") << "" << Caret::End << "7"
                                          << "7";
  QTest::newRow("minus after text is discarded") << "12" << Caret::End << "-"
                                                 << "12";
  QTest::newRow("one point only") << "12" << Caret::End << ".."
                                  << "12.";
  QTest::newRow("point after lone minus") << "-" << Caret::End << "."
                                          << "-.";
  QTest::newRow("point over selection holding a point") << "1.5" << Caret::SelectAll << "."
                                                        << "1.5";
  QTest::newRow("digit replaces selection") << "1.5" << Caret::SelectAll << "7"
                                            << "7";
  QTest::newRow("minus over whole selection is discarded") << "42" << Caret::SelectAll << "-"
                                                           << "42";
  QTest::newRow("minus at start of text is discarded") << "0.5" << Caret::Start << "-"
                                                       << "0.5";
  QTest::newRow("digit at start") << "0.5" << Caret::Start << "3"
                                  << "30.5";
  QTest::newRow("digits in front of a minus") << "-3" << Caret::Start << "5"
                                              << "5-3";
  QTest::newRow("letters, plus, e, comma, space discarded") << "1" << Caret::End << "a+e, Z"
                                                            << "1";
  QTest::newRow("mixed typing keeps only the number") << "" << Caret::End << "-1x2.3.4e5"
                                                      << "-12.345";
  QTest::newRow("second minus after first is discarded") << "" << Caret::End << "--5"
                                                         << "-5";
  QTest::newRow("point after digits typed in the same burst") << "" << Caret::End << ".5.5"
                                                              << "5.5";
}

void NumericEditTest::typedSequences() {
  QFETCH(QString, start);
  QFETCH(Caret, caret);
  QFETCH(QString, typed);
  QFETCH(QString, expected);

  CNumericEdit edit;
  edit.setText(start);
  switch (caret) {
    case Caret::End:
      edit.end(false);
      break;
    case Caret::Start:
      edit.home(false);
      break;
    case Caret::SelectAll:
      edit.selectAll();
      break;
  }
  QTest::keyClicks(&edit, typed);
  QCOMPARE(edit.text(), expected);
}

void NumericEditTest::clipboardAndUndoShortcutsHaveNoEffect() {
  CNumericEdit edit;
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText("999");
  QTest::keyClicks(&edit, "123");
  edit.selectAll();

  QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(clipboard->text(), QString("999"));
  QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(edit.text(), QString("123"));
  QCOMPARE(clipboard->text(), QString("999"));
  QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(edit.text(), QString("123"));
  QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(edit.text(), QString("123"));
  // Select-all by Ctrl+A types a control character too: no change of selection.
  edit.end(false);
  QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
  QVERIFY(!edit.hasSelectedText());
}

void NumericEditTest::nonTypingKeysEditAsUsual() {
  CNumericEdit edit;
  edit.setText("1234");
  edit.end(false);
  QTest::keyClick(&edit, Qt::Key_Backspace);
  QCOMPARE(edit.text(), QString("123"));
  QTest::keyClick(&edit, Qt::Key_Home);
  QTest::keyClick(&edit, Qt::Key_Delete);
  QCOMPARE(edit.text(), QString("23"));
  QTest::keyClick(&edit, Qt::Key_Right);
  QTest::keyClicks(&edit, "9");
  QCOMPARE(edit.text(), QString("293"));
  QTest::keyClick(&edit, Qt::Key_End);
  QTest::keyClick(&edit, Qt::Key_Left);
  QTest::keyClick(&edit, Qt::Key_Backspace);
  QCOMPARE(edit.text(), QString("23"));
}

enum class Paste { ShiftInsert, ContextMenu, Drop };
Q_DECLARE_METATYPE(Paste)

void NumericEditTest::pastedTextPassesTheTypedRule_data() {
  QTest::addColumn<Paste>("path");
  QTest::addColumn<QString>("start");
  QTest::addColumn<bool>("selectAll");
  QTest::addColumn<QString>("pasted");
  QTest::addColumn<QString>("expected");
  const std::pair<Paste, const char*> paths[] = {
      {Paste::ShiftInsert, "Shift+Insert"}, {Paste::ContextMenu, "menu"}, {Paste::Drop, "drop"}};
  // A drop lands where it is dropped, not over the selection.
  for (const auto& [path, name] : paths) {
    const auto row = [&](const char* what) { return QString("%1: %2").arg(name, what).toUtf8(); };
    QTest::newRow(row("thousands separator").constData()) << path << "" << false << "1,500"
                                                          << "1500";
    QTest::newRow(row("letters only").constData()) << path << "" << false << "abc"
                                                   << "";
    QTest::newRow(row("signed decimal").constData()) << path << "" << false << " -12.5.3e2"
                                                     << "-12.532";
    QTest::newRow(row("minus into a number").constData()) << path << "42" << false << "-1"
                                                          << "421";
    QTest::newRow(row("point over a point").constData())
        << path << "1.5" << true << ".7" << (path == Paste::Drop ? "1.57" : "7");
  }
}

void NumericEditTest::pastedTextPassesTheTypedRule() {
  QFETCH(Paste, path);
  QFETCH(QString, start);
  QFETCH(bool, selectAll);
  QFETCH(QString, pasted);
  QFETCH(QString, expected);
  CNumericEdit edit;
  edit.setText(start);
  if (selectAll) edit.selectAll();
  QApplication::clipboard()->setText(pasted);
  switch (path) {
    case Paste::ShiftInsert:
      QTest::keyClick(&edit, Qt::Key_Insert, Qt::ShiftModifier);
      break;
    case Paste::ContextMenu: {
      bool triggered = false;
      QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu != nullptr);
        const QList<QAction*> actions = menu->actions();
        const auto paste = std::find_if(actions.begin(), actions.end(), [](QAction* a) {
          return a->text().startsWith(QLineEdit::tr("&Paste"));
        });
        QVERIFY(paste != actions.end());
        (*paste)->trigger();
        triggered = true;
        menu->close();
      });
      QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2),
                                  edit.mapToGlobal(QPoint(2, 2)));
      QApplication::sendEvent(&edit, &menuEvent);
      QTRY_VERIFY(triggered);
      break;
    }
    case Paste::Drop: {
      QMimeData data;
      data.setText(pasted);
      const QPointF end(edit.width() - 1, edit.height() / 2);
      QDragEnterEvent enter(end.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
      QApplication::sendEvent(&edit, &enter);
      QDropEvent drop(end, Qt::CopyAction, &data, Qt::LeftButton, {});
      QApplication::sendEvent(&edit, &drop);
      break;
    }
  }
  QCOMPARE(edit.text(), expected);
}

QTEST_MAIN(NumericEditTest)
#include "numeric_edit_test.moc"
