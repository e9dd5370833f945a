// The editors on real widgets (Qt's offscreen platform), where focus and list behaviour matter: a
// refused field takes the keyboard focus, and a double click in the consumers picker moves a
// station across in place of the placeholder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include "edition_var_dlg.h"
#include "editors_fixture.h"
#include "station_dlgs.h"

namespace plandrel {
namespace {

class EditorWidgets : public testing::EditorTest {
 protected:
  static void SetUpTestSuite() { qui::testing::StartOffscreenApplication("plandrel_editor_widgets_test"); }
  static void TearDownTestSuite() { qui::testing::EndOffscreenApplication(); }
  static void later(std::function<void()> fn) { QTimer::singleShot(0, qApp, std::move(fn)); }
};

TEST_F(EditorWidgets, ARefusedFieldTakesTheKeyboardFocus) {
  CEditionVarDlg editor(frame_, context(), 0, 0);
  bool length_focused = false;
  std::string shown;
  later([&] {
    auto* length = static_cast<QLineEdit*>(editor.GetDlgItem(IDC_VAR_LENGTH)->widget());
    QApplication::setActiveWindow(length->window());
    length->setFocus();
    length->selectAll();
    QTest::keyClicks(length, "0");
    QTest::keyClick(length, Qt::Key_Return);  // Save, the default button
    length_focused = QApplication::focusWidget() == length;
    shown = length->text().toStdString();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(editor.DoModal(), IDCANCEL);
  EXPECT_TRUE(length_focused);
  EXPECT_EQ(shown, "1");
  EXPECT_EQ(boxes(), std::vector<std::string>{"Variable length too small.\nThe minimum value is 1."});
  EXPECT_EQ(document_->Records().variables[0].length, 2);
}

TEST_F(EditorWidgets, ADoubleClickedStationReplacesThePlaceholder) {
  records::VARIABLE4 v = document_->Records().variables[0];
  v.consumers.fill(0);
  v.consumer_count = 0;
  CStaConsDlg picker(frame_, document_->Records(), v);
  std::vector<std::string> right;
  later([&] {
    auto* all = qobject_cast<QListWidget*>(picker.GetDlgItem(IDC_ALL_STATIONS)->widget());
    auto* chosen = qobject_cast<QListWidget*>(picker.GetDlgItem(IDC_CONSUMING_STATIONS)->widget());
    QApplication::setActiveWindow(all->window());
    const QPoint r2 = all->visualItemRect(all->item(2)).center();
    QTest::mouseClick(all->viewport(), Qt::LeftButton, {}, r2);
    QTest::mouseDClick(all->viewport(), Qt::LeftButton, {}, r2);
    for (int i = 0; i < chosen->count(); ++i) right.push_back(chosen->item(i)->text().toStdString());
    QTest::mouseClick(picker.GetDlgItem(IDOK)->widget(), Qt::LeftButton);
  });
  EXPECT_EQ(picker.DoModal(), IDOK);
  EXPECT_EQ(right, std::vector<std::string>{"R2"});
  EXPECT_EQ(v.consumer_count, 1);
  EXPECT_EQ(v.consumers[0], 1u << 2);
}

}  // namespace
}  // namespace plandrel
