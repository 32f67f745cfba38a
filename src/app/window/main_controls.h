#pragma once

// Every control of frmMain, under the names the program's handlers use. BuildMainControls creates
// them at their design positions with their design captions and initial states; each control's
// objectName is its name here, so tests and the panels of other subsystems can find it.

#include <QStringList>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QWidget;

namespace mirelo::window {

class ImageView;

// The design client area: 11880 x 8190 twips.
inline constexpr int kClientWidthTwips = 11880;
inline constexpr int kClientHeightTwips = 8190;

struct MainControls {
  // File list
  QLabel* Lb_Name1 = nullptr;
  QListWidget* List1 = nullptr;
  QPushButton* Bt_Expl = nullptr;
  QLabel* Lb_Name2 = nullptr;
  QLabel* Lb_fi = nullptr;
  QPushButton* Bt_Del = nullptr;
  QPushButton* Bt_All_Del = nullptr;
  QListWidget* List2 = nullptr;  // never shown
  QFrame* Picture1 = nullptr;
  QTimer* Timer1 = nullptr;
  // Preview and player
  ImageView* LEAD1 = nullptr;
  QGroupBox* Still_Frame = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Lb_s_size = nullptr;
  ImageView* LEAD11 = nullptr;  // output image buffer, not shown
  ImageView* LEAD12 = nullptr;  // working image buffer, not shown
  QGroupBox* Video_Frame = nullptr;
  QFrame* Shape1 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Lb_v_size = nullptr;
  QPushButton* V_Stop = nullptr;
  QPushButton* V_Play = nullptr;
  QPushButton* V_PR = nullptr;
  QPushButton* V_Pause = nullptr;
  QPushButton* V_PF = nullptr;
  QCheckBox* Chk_Mute = nullptr;
  QSlider* SL1 = nullptr;
  QPushButton* Bt_Select = nullptr;
  // Output settings (Parts 1.3, 3.3, 4.1)
  QGroupBox* Fr_Set = nullptr;
  QGroupBox* Frame5 = nullptr;
  QRadioButton* OpThumbWaku1 = nullptr;
  QRadioButton* OpThumbWaku2 = nullptr;
  QComboBox* CbSize = nullptr;
  QPushButton* Bt_SizeSave = nullptr;
  QPushButton* Bt_SizeDel = nullptr;
  QLabel* Lb_WakuX = nullptr;
  QLineEdit* SizeWidth = nullptr;
  QLabel* Lb_WakuY = nullptr;
  QLineEdit* SizeHeight = nullptr;
  QFrame* Line1 = nullptr;
  QLabel* Lb_SWaku = nullptr;
  QPushButton* Bt_SWaku = nullptr;
  QLabel* Lb_VWaku = nullptr;
  QPushButton* Bt_VWaku = nullptr;
  ImageView* LEAD3 = nullptr;
  ImageView* LEAD4 = nullptr;
  QPushButton* Bt_Waku_Save = nullptr;
  QGroupBox* Frame8 = nullptr;
  QComboBox* CbFormat = nullptr;
  QLabel* Lb_Name3 = nullptr;
  QLabel* Lb_Q = nullptr;
  QSlider* SL_Q = nullptr;
  QGroupBox* Frame4 = nullptr;
  QRadioButton* OpThumbOut2 = nullptr;
  QPushButton* Bt_V_Out = nullptr;
  QLabel* Lb_Out = nullptr;
  QRadioButton* OpThumbOut1 = nullptr;
  QGroupBox* Frame7 = nullptr;
  QComboBox* CbFName = nullptr;
  QLabel* Lb_SaveFile = nullptr;
  QLineEdit* FNameStr = nullptr;
  // Batch and settings (Parts 1.1, 1.2, 2.1)
  QProgressBar* SL_Make = nullptr;
  QPushButton* Bt_Save = nullptr;
  QPushButton* Bt_Cancel = nullptr;
  QPushButton* Bt_Go = nullptr;
  QPushButton* Bt_End = nullptr;
  // Menus
  QMenu* M_File = nullptr;
  QAction* M_File_End = nullptr;
  QMenu* M_Help_Display = nullptr;
  QAction* M_Help_Log = nullptr;
  QAction* M_Help_SelectFailed = nullptr;  // "失敗したファイルだけを選択": the entries the last run failed on
  QAction* M_Help_Line1 = nullptr;
  QAction* M_Help_Option = nullptr;
  QMenu* M_Help = nullptr;
  QAction* M_Help_HomePage = nullptr;
  QAction* M_Help_Line2 = nullptr;
  QAction* M_Help_Mokuji = nullptr;
  QAction* M_Help_Line3 = nullptr;
  QAction* M_Help_Version = nullptr;
};

// Creates the central widget (the design client area) and the menu bar of window.
MainControls BuildMainControls(QMainWindow& window);

// The entries of CbFormat (index = FormatIndex) and CbFName (index = NameMode).
QStringList FormatEntries();
QStringList NamingEntries();

}  // namespace mirelo::window
