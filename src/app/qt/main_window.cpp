#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>
#include <QWindow>
#include <algorithm>

#include "icon.h"
#include "platform/file_system.h"
#include "preview_dialog.h"
#include "value_label.h"

namespace slicery::qt {

using app::ControlId;

namespace {

constexpr int kControlIds = static_cast<int>(ControlId::Label4) + 1;
constexpr int kLabel1Elements = 10;
// How many failures the end-of-run report lists by name.

// Positions and sizes are laid out in twips; 15 make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height) {
  const auto px = [](int t) { return (t + 7) / 15; };
  return {px(left), px(top), px(width), px(height)};
}

QString text(const std::string& s) {
  return QString::fromStdString(s);
}

QFrame* makeFrame(QWidget* parent, const char* name, QRect geometry) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(QString::fromLatin1(name));
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setGeometry(geometry);
  return frame;
}

// The colour of a system palette role, for Text1's background.
QColor paletteColour(const QPalette& palette, app::ColourRole role) {
  switch (role) {
    case app::ColourRole::inactiveBorder:
      return palette.color(QPalette::Active, QPalette::Window);
    case app::ColourRole::windowBackground:
      return palette.color(QPalette::Active, QPalette::Base);
    case app::ColourRole::inactiveCaptionText:
      return palette.color(QPalette::Active, QPalette::Midlight);
  }
  return palette.color(QPalette::Active, QPalette::Window);
}

bool isUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

// A drop is only ever read: ask the source for a copy where it offers one,
// so no file manager takes the drop for a move.
void acceptAsCopy(QDropEvent* event) {
  if (event->possibleActions() & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->acceptProposedAction();
  }
}

std::vector<std::string> localPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    if (!path.isEmpty()) paths.push_back(QFile::encodeName(path).toStdString());
  }
  return paths;
}

}  // namespace

QFont captionFont() {
  const QString verdana = QStringLiteral("Verdana");
  QFont font(QFontDatabase::hasFamily(verdana) ? verdana : QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.25);
  return font;
}

QFont windowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans Condensed"),
                    QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

void setUpApplication() {
  QApplication::setApplicationName(QStringLiteral("slicery"));
  QApplication::setApplicationVersion(QString::fromLatin1(app::kVersion));
  QGuiApplication::setDesktopFileName(QStringLiteral("slicery"));
  QApplication::setWindowIcon(appIcon());
}

MainWindow::MainWindow(app::Form1& form, QWidget* parent)
    : QWidget(parent),
      form_(form),
      bindings_(kControlIds + kLabel1Elements),
      dirty_(bindings_.size(), false) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(app::kWindowTitle));
  setWindowIcon(appIcon());
  setFont(windowFont());
  setFixedSize(978, 463);
  buildControls();
  for (int slot = 0; slot < static_cast<int>(bindings_.size()); ++slot) sync(slot);
  form_.setView(this);
  qApp->installEventFilter(this);
  chooseFolder_ = [](QWidget* parentWidget, const QString& start) {
    return QFileDialog::getExistingDirectory(parentWidget, QStringLiteral("Open an Exam Folder"),
                                             start);
  };
  auto* open = new QShortcut(QKeySequence::Open, this);
  connect(open, &QShortcut::activated, this, &MainWindow::openFolder);
  auto* preview = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
  connect(preview, &QShortcut::activated, this, &MainWindow::openPreview);
  // During the work a shortcut is the one key that comes through: the
  // event filter holds back key presses, not the shortcuts they make.
  auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(stop, &QShortcut::activated, this, [this] { form_.pressEscape(); });
}

void MainWindow::start() {
  workStarts();
  form_.pressStart();
  workEnded();
}

void MainWindow::undo() {
  workStarts();
  form_.pressUndo();
  workEnded();
}

void MainWindow::openPreview() {
  if (!form_.canPreview()) return;
  PreviewDialog dialog(form_.preview(), form_.btnstart.enabled(), this);
  if (dialog.exec() == QDialog::Accepted) start();
}

void MainWindow::showCommandMenu(QPoint globalPos) {
  QMenu menu(this);
  const auto add = [&menu](const char* name, const QKeySequence& keys, bool applies) {
    QAction* action = menu.addAction(QString::fromUtf8(name) + QLatin1Char('\t') +
                                     keys.toString(QKeySequence::NativeText));
    action->setEnabled(applies);
    return action;
  };
  const QAction* open = add("Open folder\u2026", QKeySequence::Open, form_.canOpenFolder());
  const QAction* preview =
      add("Preview\u2026", QKeySequence(Qt::CTRL | Qt::Key_P), form_.canPreview());
  const QAction* undoRun =
      add("Undo last run", QKeySequence(Qt::CTRL | Qt::Key_Z), form_.undoOffer().applies);
  const QAction* stop = add("Stop", QKeySequence(Qt::Key_Escape), form_.canStop());
  if (onCommandMenu) {
    QMetaObject::invokeMethod(
        &menu, [this, &menu] { onCommandMenu(&menu); }, Qt::QueuedConnection);
  }
  const QAction* chosen = menu.exec(globalPos);
  if (chosen == nullptr) return;
  if (chosen == open) {
    openFolder();
  } else if (chosen == preview) {
    openPreview();
  } else if (chosen == undoRun) {
    undo();
  } else if (chosen == stop) {
    form_.pressEscape();
  }
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  showCommandMenu(event->globalPos());
}

void MainWindow::openFolder() {
  if (form_.busy()) return;
  const std::string loaded = form_.File2.path();
  const QString start = loaded.empty() ? QDir::homePath() : QFile::decodeName(loaded.c_str());
  const QString chosen = chooseFolder_ ? chooseFolder_(this, start) : QString();
  if (chosen.isEmpty()) return;
  loadDropped({QFile::encodeName(chosen).toStdString()});
}

void MainWindow::openPaths(const std::vector<std::string>& paths) {
  QMetaObject::invokeMethod(
      this, [this, paths] { loadDropped(paths); }, Qt::QueuedConnection);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  if (form_.view() == this) form_.setView(nullptr);
}

int MainWindow::slotOf(ControlId id, int index) {
  if (id == ControlId::Label1) return kControlIds + std::clamp(index, 0, kLabel1Elements - 1);
  return static_cast<int>(id);
}

void MainWindow::buildControls() {
  app::Form1& f = form_;
  setDropRole(this, DropRole::load);
  const QFont regular = captionFont();
  QFont bold = regular;
  bold.setBold(true);

  const auto label = [this, &regular](QWidget* parent, app::LabelModel& model, const char* name,
                                      QRect at, DropRole role) {
    auto* widget = new QLabel(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setFont(regular);
    widget->setTextFormat(Qt::PlainText);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    widget->setAutoFillBackground(true);
    widget->setGeometry(at);
    bind(widget, model, Kind::label, role);
    return widget;
  };
  // A value that may be wider than its label: a path or a file name.
  const auto valueLabel = [this, &regular](QWidget* parent, app::LabelModel& model,
                                           const char* name, QRect at) {
    auto* widget = new ValueLabel(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setFont(regular);
    widget->setTextFormat(Qt::PlainText);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    widget->setAutoFillBackground(true);
    widget->setGeometry(at);
    bind(widget, model, Kind::valueLabel, DropRole::load);
    return widget;
  };
  const auto checkBox = [this](QWidget* parent, app::CheckBoxModel& model, const char* name,
                               QRect at, DropRole role) {
    auto* box = new QCheckBox(text(model.caption()), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(at);
    bind(box, model, Kind::checkBox, role);
    connect(box, &QCheckBox::clicked, this, [this, &model](bool checked) {
      form_.changeCheck(model, checked ? 1 : 0);
      sync(slotOf(model.id(), 0));  // shows the model again if it refused the change
    });
    return box;
  };
  const auto button = [this, &regular](QWidget* parent, app::ButtonModel& model, const char* name,
                                       QRect at) {
    auto* widget = new QPushButton(text(model.caption()), parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setFont(regular);
    widget->setGeometry(at);
    bind(widget, model, Kind::button, DropRole::load);
    return widget;
  };
  const auto progressBar = [this](app::ProgressBarModel& model, const char* name, QRect at) {
    auto* bar = new QProgressBar(this);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setTextVisible(false);
    bar->setGeometry(at);
    bind(bar, model, Kind::progressBar, DropRole::refuse);
    return bar;
  };

  // Frame1 holds everything but the few controls drawn above it.
  QFrame* frame1 = makeFrame(this, "Frame1", twips(120, 0, 14415, 6855));
  setDropRole(frame1, DropRole::load);

  // Top band: commands and options.
  QPushButton* btnstart = button(frame1, f.btnstart, "btnstart", twips(360, 360, 1215, 495));
  QPushButton* btnExit = button(frame1, f.btnExit, "btnExit", twips(360, 960, 1215, 495));
  connect(btnstart, &QPushButton::clicked, this, &MainWindow::start);
  btnstart->setToolTip(QString::fromLatin1(app::kStartTip));
  connect(btnExit, &QPushButton::clicked, this, [this] { form_.pressExit(); });
  // Undo of the last run: no room for a button, so a key and the context
  // menu.
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this), &QShortcut::activated, this,
          &MainWindow::undo);

  QCheckBox* check1 =
      checkBox(frame1, f.Check1, "Check1", twips(2160, 240, 5415, 255), DropRole::load);
  QCheckBox* check2 =
      checkBox(frame1, f.Check2, "Check2", twips(2160, 600, 7575, 255), DropRole::ignore);
  label(frame1, f.Label8, "Label8", twips(6000, 960, 7455, 255), DropRole::refuse)->setFont(bold);
  QCheckBox* check3 =
      checkBox(frame1, f.Check3, "Check3", twips(2160, 1320, 1935, 255), DropRole::load);

  auto* text1 = new QLineEdit(frame1);
  text1->setObjectName(QStringLiteral("Text1"));
  text1->setGeometry(twips(4200, 1320, 2895, 285));
  text1->setDragEnabled(false);
  bind(text1, f.Text1, Kind::textBox, DropRole::ignore);
  connect(text1, &QLineEdit::textEdited, this, [this](const QString& typed) {
    form_.changeText1(typed.toStdString());
    sync(slotOf(ControlId::Text1, 0));
  });
  label(frame1, f.Label4, "Label4", twips(7320, 1320, 5895, 255), DropRole::load)->setFont(bold);

  // Middle band: the folder and the file being renamed.
  QFrame* frame4 = makeFrame(frame1, "Frame4", twips(360, 1560, 13696, 3135));
  setDropRole(frame4, DropRole::load);
  struct StatusRow {
    int top;
    int captionIndex;
    int captionLeft;
    int captionWidth;
    app::LabelModel* value;
    const char* valueName;
    int valueWidth;
  };
  const StatusRow rows[] = {
      {240, 0, 1005, 1335, &f.lblcurrentfolder, "lblcurrentfolder", 10335},
      {600, 2, 120, 2295, &f.lblseriesnum, "lblseriesnum", 2055},
      {960, 1, 930, 1455, &f.lblcountoffiles, "lblcountoffiles", 2175},
      {1320, 3, 285, 2175, &f.lblcurrentseries, "lblcurrentseries", 2175},
      {1680, 4, 405, 1935, &f.lblcurrentslice, "lblcurrentslice", 1455},
      {2040, 5, 1080, 1335, &f.lbloldfilename, "lbloldfilename", 10335},
      {2400, 6, 1005, 1335, &f.lblnewfilename, "lblnewfilename", 10335},
  };
  constexpr int kStatusValueLeft = 2565;
  for (const StatusRow& row : rows) {
    const QByteArray name = "Label1(" + QByteArray::number(row.captionIndex) + ")";
    label(frame4, f.Label1[static_cast<size_t>(row.captionIndex)], name.constData(),
          twips(row.captionLeft, row.top, row.captionWidth, 255), DropRole::load);
    const QRect at = twips(kStatusValueLeft, row.top, row.valueWidth, 255);
    const bool wide = row.value == &f.lblcurrentfolder || row.value == &f.lbloldfilename ||
                      row.value == &f.lblnewfilename;
    if (wide) {
      valueLabel(frame4, *row.value, row.valueName, at);
    } else {
      label(frame4, *row.value, row.valueName, at, DropRole::load);
    }
  }
  label(frame4, f.Label2, "Label2", twips(720, 2760, 1695, 255), DropRole::load);
  valueLabel(frame4, f.Label3, "Label3", twips(kStatusValueLeft, 2760, 5775, 255));
  auto* folder = frame4->findChild<ValueLabel*>(QStringLiteral("lblcurrentfolder"));
  folder->setHint(QString::fromLatin1(kFolderHint));
  folder->setHintTip(QString::fromLatin1(app::kFolderHintTip));

  // Bottom band: progress and the results of the run.
  QFrame* frame2 = makeFrame(frame1, "Frame2", twips(360, 4800, 13695, 1815));
  setDropRole(frame2, DropRole::load);
  label(frame2, f.Label1[7], "Label1(7)", twips(360, 240, 2655, 255), DropRole::load);
  label(frame2, f.Label1[8], "Label1(8)", twips(360, 960, 2655, 255), DropRole::load);
  QFrame* frame3 = makeFrame(frame2, "Frame3", twips(8640, 240, 4815, 1335));
  setDropRole(frame3, DropRole::refuse);
  label(frame3, f.Label5, "Label5", twips(1320, 360, 1455, 255), DropRole::load);
  label(frame3, f.Label6, "Label6", twips(2880, 360, 1695, 255), DropRole::load);
  label(frame3, f.Label1[9], "Label1(9)", twips(240, 600, 2535, 255), DropRole::load);
  label(frame3, f.lbltotalfiles, "lbltotalfiles", twips(2880, 600, 1695, 255), DropRole::load);
  label(frame3, f.Label7, "Label7", twips(1600, 840, 1215, 255), DropRole::refuse);
  label(frame3, f.lbltimetaken, "lbltimetaken", twips(2880, 840, 1815, 255), DropRole::refuse);

  // Children of the window that lie over Frame1 and Frame2.
  QCheckBox* check4 =
      checkBox(this, f.Check4, "Check4", twips(2280, 960, 3735, 255), DropRole::refuse);
  check4->raise();
  progressBar(f.PRGSeries, "PRGSeries", twips(840, 5280, 7455, 375))->raise();
  progressBar(f.prgtotal, "prgtotal", twips(840, 6000, 7455, 375))->raise();

  for (QCheckBox* box : {check1, check2, check3}) box->setFont(regular);

  // Keyboard focus: only these take it, in this order, and the first one
  // enabled at open holds it.
  QWidget* const tabOrder[] = {text1, check3, check2, check1, btnstart, btnExit, check4};
  for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
    setTabOrder(tabOrder[i], tabOrder[i + 1]);
  }
  check2->setFocus();
}

void MainWindow::bind(QWidget* widget, app::ControlModel& model, Kind kind, DropRole role) {
  bindings_[static_cast<size_t>(slotOf(model.id(), model.index()))] = {widget, &model, kind};
  setDropRole(widget, role);
}

void MainWindow::setDropRole(QWidget* widget, DropRole role) {
  widget->setAcceptDrops(true);
  dropRoles_.insert(widget, role);
}

// --- Showing the models ----------------------------------------------------

void MainWindow::sync(int slot) {
  const Binding& b = bindings_[static_cast<size_t>(slot)];
  if (b.widget == nullptr) return;
  b.widget->setEnabled(b.model->enabled());
  switch (b.kind) {
    case Kind::label:
      static_cast<QLabel*>(b.widget)->setText(text(static_cast<app::LabelModel*>(b.model)->text()));
      break;
    case Kind::valueLabel:
      static_cast<ValueLabel*>(b.widget)->setValue(
          text(static_cast<app::LabelModel*>(b.model)->text()));
      break;
    case Kind::checkBox: {
      auto* box = static_cast<QCheckBox*>(b.widget);
      const QSignalBlocker quiet(box);
      box->setChecked(static_cast<app::CheckBoxModel*>(b.model)->ticked());
      break;
    }
    case Kind::textBox: {
      auto* edit = static_cast<QLineEdit*>(b.widget);
      const auto* model = static_cast<app::TextBoxModel*>(b.model);
      const QString shown = text(model->text());
      if (edit->text() != shown) {
        const QSignalBlocker quiet(edit);
        edit->setText(shown);
      }
      QPalette palette = edit->palette();
      palette.setColor(QPalette::Base, paletteColour(QApplication::palette(), model->background()));
      edit->setPalette(palette);
      break;
    }
    case Kind::button:
      break;
    case Kind::progressBar: {
      auto* bar = static_cast<QProgressBar*>(b.widget);
      const auto* model = static_cast<app::ProgressBarModel*>(b.model);
      bar->setMaximum(std::max(model->maximum(), 0));
      bar->setValue(std::clamp(model->value(), 0, bar->maximum()));
      break;
    }
  }
}

void MainWindow::syncDirty() {
  for (int slot : dirtySlots_) {
    dirty_[static_cast<size_t>(slot)] = false;
    sync(slot);
  }
  dirtySlots_.clear();
}

void MainWindow::controlChanged(ControlId id, int index) {
  const auto slot = static_cast<size_t>(slotOf(id, index));
  if (bindings_[slot].widget != nullptr && !dirty_[slot]) {  // lists are never shown
    dirty_[slot] = true;
    dirtySlots_.push_back(static_cast<int>(slot));
  }
  if (!form_.busy()) {
    syncDirty();
    return;
  }
  if (painting_ || dirtySlots_.empty()) return;
  if (!work_.isValid()) workStarts();
  // A change is painted at once while painting has cost little of the
  // work's time so far, and otherwise with the first change after a pause.
  const bool cheap = paintNanoseconds_ * kPaintShare <= work_.nsecsElapsed();
  const bool due = !sincePaint_.isValid() || sincePaint_.elapsed() >= kPaintIntervalMs;
  if (cheap || due) paintNow();
}

// Shows what changed since the last time while a load or a run keeps the
// event loop waiting: paints the changed controls and handles what the window
// system sent meanwhile (exposes, pings). eventFilter holds back user input.
void MainWindow::paintNow() {
  QElapsedTimer took;
  took.start();
  painting_ = true;
  syncDirty();
  QCoreApplication::processEvents();
  painting_ = false;
  paintNanoseconds_ += took.nsecsElapsed();
  sincePaint_.start();
}

void MainWindow::workStarts() {
  work_.start();
  paintNanoseconds_ = 0;
}

void MainWindow::workEnded() {
  syncDirty();
  work_.invalidate();
}

// --- Input -----------------------------------------------------------------

bool MainWindow::blocksWhileBusy(QObject* watched, const QEvent* event) const {
  if (!form_.busy() || !isUserInput(event->type())) return false;
  if (watched == windowHandle()) return true;
  return watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this;
}

bool MainWindow::stopTrigger(QObject* watched, QEvent* event) {
  if (!form_.working()) return false;
  const bool window = watched == windowHandle();
  if (!window && (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this)) {
    return false;
  }
  QWidget* exit = bindings_[static_cast<size_t>(slotOf(ControlId::btnExit, 0))].widget;
  const auto under = [&](const QMouseEvent* mouse) {
    const QPoint at = mouse->position().toPoint();
    return window ? childAt(at) : static_cast<QWidget*>(watched)->childAt(at);
  };
  switch (event->type()) {
    case QEvent::Close:
      form_.closeRequested();
      return true;
    case QEvent::Shortcut:  // Alt+E
      if (watched != exit) return false;
      form_.pressExit();
      return true;
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton || (watched != exit && under(mouse) != exit)) {
        return false;
      }
      form_.pressExit();
      return true;
    }
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::RightButton) return false;
      showCommandMenu(mouse->globalPosition().toPoint());
      return true;
    }
    default:
      return false;
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (blocksWhileBusy(watched, event)) {
    stopTrigger(watched, event);
    event->ignore();
    return true;
  }
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
        return handleDrag(dropRoleAt(static_cast<QWidget*>(watched),
                                     static_cast<QDropEvent*>(event)->position().toPoint()),
                          event);
      }
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

// The toolkit hands a drag that one widget ignores on to the widgets behind
// it, and passes over disabled ones. What happens is decided by the control
// that lies under the pointer, whichever of them is asked.
MainWindow::DropRole MainWindow::dropRoleAt(QWidget* receiver, QPoint at) const {
  QWidget* hit = receiver->childAt(at);
  for (QWidget* w = hit != nullptr ? hit : receiver; w != nullptr; w = w->parentWidget()) {
    const auto role = dropRoles_.constFind(w);
    if (role != dropRoles_.constEnd()) return *role;
  }
  return DropRole::refuse;
}

bool MainWindow::handleDrag(DropRole role, QEvent* event) {
  auto* drop = static_cast<QDropEvent*>(event);
  if (role == DropRole::refuse) {
    drop->ignore();
    return true;
  }
  acceptAsCopy(drop);
  if (event->type() == QEvent::Drop && role == DropRole::load) {
    // Load once the drop has finished, so the file manager is not kept
    // waiting for a long load or a message.
    QMetaObject::invokeMethod(
        this, [this, paths = localPaths(drop->mimeData())] { loadDropped(paths); },
        Qt::QueuedConnection);
  }
  return true;
}

void MainWindow::loadDropped(const std::vector<std::string>& paths) {
  if (paths.empty()) {
    showMessage({"Nothing was loaded: the drop holds no file or folder path.", "Slicery",
                 app::Message::Icon::warning});
    return;
  }
  workStarts();
  const platform::Status status = form_.drop(paths);
  workEnded();
  if (!status) {
    const std::string& where = status.path().empty() ? paths.front() : status.path();
    showMessage({"The folder could not be loaded:\n" + where + "\n\n" + status.reason(), "Slicery",
                 app::Message::Icon::warning});
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!form_.closeRequested()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

// --- What the form tells the user ------------------------------------------

void MainWindow::showMessage(const app::Message& message) {
  syncDirty();  // the window behind the box shows where the work stands
  QMessageBox::Icon icon = QMessageBox::Warning;
  if (message.icon == app::Message::Icon::critical) icon = QMessageBox::Critical;
  if (message.icon == app::Message::Icon::information) icon = QMessageBox::Information;
  QMessageBox box(icon, text(message.title), text(message.text), QMessageBox::Ok, this);
  if (!message.details.empty()) box.setDetailedText(text(message.details));
  box.exec();
}

void MainWindow::notice(const app::Message& message) {
  showMessage(message);
}

bool MainWindow::askStop(const std::string& question) {
  syncDirty();
  QMessageBox box(QMessageBox::Question, QStringLiteral("Slicery"), text(question),
                  QMessageBox::NoButton, this);
  const QPushButton* stop = box.addButton(QStringLiteral("&Stop"), QMessageBox::AcceptRole);
  QPushButton* goOn = box.addButton(QStringLiteral("&Continue"), QMessageBox::RejectRole);
  box.setDefaultButton(goOn);
  box.setEscapeButton(goOn);
  box.exec();
  return box.clickedButton() == stop;
}

app::Form1View::UnfinishedRunChoice MainWindow::askUnfinishedRun(const std::string& message) {
  syncDirty();
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Unfinished Run"), text(message),
                  QMessageBox::NoButton, this);
  const QPushButton* finish = box.addButton(QStringLiteral("&Finish"), QMessageBox::AcceptRole);
  const QPushButton* undo = box.addButton(QStringLiteral("&Undo"), QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == finish) return UnfinishedRunChoice::finish;
  if (box.clickedButton() == undo) return UnfinishedRunChoice::undo;
  return UnfinishedRunChoice::cancel;
}

bool MainWindow::confirm(const std::string& message, const std::string& title) {
  syncDirty();
  QMessageBox box(QMessageBox::Question, text(title), text(message),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void MainWindow::closeWindow() {
  close();
}

void MainWindow::runFailed(const std::vector<app::RunFailure>& failures) {
  if (failures.empty()) return;
  syncDirty();  // the run's end shows behind the report
  // Paths are shown from the loaded folder on, which the headline names.
  const std::string folder = form_.File2.path();
  const bool one = failures.size() == 1;
  QMessageBox box(
      QMessageBox::Warning, QStringLiteral("Slicery"),
      QStringLiteral("%1 %2 in %3 could not be renamed, made or listed. Nothing was "
                     "overwritten.")
          .arg(failures.size())
          .arg(one ? QStringLiteral("file or folder") : QStringLiteral("files or folders"),
               text(folder)),
      QMessageBox::Ok, this);
  std::string details;
  box.setInformativeText(text(app::failureList(folder, failures, details)));
  if (!details.empty()) box.setDetailedText(text(details));
  box.exec();
}

}  // namespace slicery::qt
