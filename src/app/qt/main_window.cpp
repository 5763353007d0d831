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

#include "exams_dialog.h"
#include "icon.h"
#include "platform/file_system.h"
#include "preview_dialog.h"
#include "value_label.h"

namespace slicery::qt {

using app::ControlId;

namespace {

constexpr int kControlIds = static_cast<int>(ControlId::Label4) + 1;
constexpr int kLabel1Elements = 10;

// Positions and sizes are laid out in twips; 15 make a pixel at 96 dpi.
QRect twips(int left, int top, int width, int height) {
  const auto px = [](int t) { return (t + 7) / 15; };
  return {px(left), px(top), px(width), px(height)};
}

QRect twips(const app::Twips& at) {
  return twips(at.left, at.top, at.width, at.height);
}

QString text(const std::string& s) {
  return QString::fromStdString(s);
}

QKeySequence keySequence(const app::CommandEntry& entry) {
  return QKeySequence::fromString(QString::fromLatin1(entry.keys), QKeySequence::PortableText);
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

// The toolkit's own button for an answer the table gives no caption.
QMessageBox::StandardButton standardButton(app::Answer answer) {
  switch (answer) {
    case app::Answer::yes:
      return QMessageBox::Yes;
    case app::Answer::no:
      return QMessageBox::No;
    default:
      return QMessageBox::Cancel;
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
  // The commands' keys. During the work a shortcut is the one key that
  // comes through: the event filter holds back key presses, not the
  // shortcuts they make.
  for (const app::CommandEntry& entry : app::contextMenu()) {
    auto* shortcut = new QShortcut(keySequence(entry), this);
    connect(shortcut, &QShortcut::activated, this,
            [this, c = entry.command] { app::runCommand(form_, *this, c); });
  }
}

void MainWindow::start() {
  workStarts();
  form_.pressStart();
  workEnded();
}

void MainWindow::undo() {
  if (batch_ != nullptr && batch_->undoApplies()) {
    if (ask(app::undoQuestion(), batch_->undoQuestion(), "Undo Batch") == app::Answer::yes) {
      openExams(true);
    }
    return;
  }
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
  for (const app::CommandEntry& entry : app::contextMenu()) {
    QAction* action = menu.addAction(QString::fromUtf8(entry.caption) + QLatin1Char('\t') +
                                     keySequence(entry).toString(QKeySequence::NativeText));
    action->setEnabled(app::commandApplies(form_, entry.command));
    action->setData(static_cast<int>(entry.command));
  }
  if (onCommandMenu) {
    QMetaObject::invokeMethod(
        &menu, [this, &menu] { onCommandMenu(&menu); }, Qt::QueuedConnection);
  }
  const QAction* chosen = menu.exec(globalPos);
  if (chosen != nullptr)
    app::runCommand(form_, *this, static_cast<app::Command>(chosen->data().toInt()));
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
  setDropRole(this, DropRole::load);
  const QFont regular = captionFont();
  QFont bold = regular;
  bold.setBold(true);
  // Parents come before what they hold; a later widget lies above the
  // earlier ones of its parent, as the table's later controls do.
  QWidget* parents[5] = {this};
  for (const app::ControlPlace& place : app::windowLayout()) {
    QWidget* widget = makeControl(place, parents[place.parent]);
    widget->setObjectName(QString::fromLatin1(place.name));
    widget->setGeometry(twips(place.at));
    if (place.font != app::CaptionFont::none) {
      widget->setFont(place.font == app::CaptionFont::bold ? bold : regular);
    }
    if (place.kind == app::ControlKind::frame) parents[place.index] = widget;
  }
  auto* folder = findChild<ValueLabel*>(QStringLiteral("lblcurrentfolder"));
  folder->setHint(QString::fromLatin1(kFolderHint));
  folder->setHintTip(QString::fromLatin1(app::kFolderHintTip));
  widgetOf(app::ControlId::btnstart)->setToolTip(QString::fromLatin1(app::kStartTip));

  // Keyboard focus: only these take it, in this order, and the first one
  // enabled at open holds it.
  const std::vector<const app::ControlPlace*> order = app::tabOrder();
  for (size_t i = 0; i + 1 < order.size(); ++i) {
    setTabOrder(widgetOf(order[i]->id), widgetOf(order[i + 1]->id));
  }
  widgetOf(app::firstFocus(form_).id)->setFocus();
}

QWidget* MainWindow::makeControl(const app::ControlPlace& place, QWidget* parent) {
  QWidget* widget = nullptr;
  Kind kind = Kind::label;
  switch (place.kind) {
    case app::ControlKind::frame: {
      auto* frame = new QFrame(parent);
      frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
      setDropRole(frame, place.drop);
      return frame;  // no model to show
    }
    case app::ControlKind::label: {
      // A value that may be wider than its label, a path or a file name,
      // is shortened to fit.
      const bool wide = place.overflow != app::Overflow::clip;
      auto* label = wide ? new ValueLabel(parent) : new QLabel(parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      label->setAutoFillBackground(true);
      widget = label;
      kind = wide ? Kind::valueLabel : Kind::label;
      break;
    }
    case app::ControlKind::checkBox: {
      auto& model = static_cast<app::CheckBoxModel&>(app::modelOf(form_, place));
      auto* box = new QCheckBox(text(model.caption()), parent);
      connect(box, &QCheckBox::clicked, this, [this, &model](bool checked) {
        form_.changeCheck(model, checked ? 1 : 0);
        sync(slotOf(model.id(), 0));  // shows the model again if it refused the change
      });
      widget = box;
      kind = Kind::checkBox;
      break;
    }
    case app::ControlKind::textBox: {
      auto* edit = new QLineEdit(parent);
      edit->setDragEnabled(false);
      connect(edit, &QLineEdit::textEdited, this, [this](const QString& typed) {
        form_.changeText1(typed.toStdString());
        sync(slotOf(ControlId::Text1, 0));
      });
      widget = edit;
      kind = Kind::textBox;
      break;
    }
    case app::ControlKind::button: {
      const auto& model = static_cast<const app::ButtonModel&>(app::modelOf(form_, place));
      auto* button = new QPushButton(text(model.caption()), parent);
      if (place.id == ControlId::btnstart) {
        connect(button, &QPushButton::clicked, this, &MainWindow::start);
      } else {
        connect(button, &QPushButton::clicked, this, [this] { form_.pressExit(); });
      }
      widget = button;
      kind = Kind::button;
      break;
    }
    case app::ControlKind::progressBar: {
      auto* bar = new QProgressBar(parent);
      bar->setTextVisible(false);
      widget = bar;
      kind = Kind::progressBar;
      break;
    }
  }
  bind(widget, app::modelOf(form_, place), kind, place.drop);
  return widget;
}

QWidget* MainWindow::widgetOf(ControlId id) const {
  return bindings_[static_cast<size_t>(slotOf(id, 0))].widget;
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
  if ((!form_.busy() && !searching_) || !isUserInput(event->type())) return false;
  if (watched == windowHandle()) return true;
  return watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this;
}

bool MainWindow::stopTrigger(QObject* watched, QEvent* event) {
  if (!form_.working()) return false;
  const bool window = watched == windowHandle();
  if (!window && (!watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this)) {
    return false;
  }
  QWidget* exit = widgetOf(ControlId::btnExit);
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
  if (form_.busy()) return;
  // Several exams open the exams dialog; one loads as it always did.
  auto batch = std::make_unique<app::ExamBatch>(form_);
  searching_ = true;  // input waits for the search as for a load
  // A search below the drop shows that it works: the busy cursor, and the
  // folders searched so far where the current folder shows.
  const int folderSlot = slotOf(ControlId::lblcurrentfolder, 0);
  auto* folder = static_cast<ValueLabel*>(bindings_[static_cast<size_t>(folderSlot)].widget);
  QElapsedTimer search;
  batch->onSearch = [&search, folder](size_t folders) {
    if (!search.isValid()) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (search.elapsed() < kPaintIntervalMs) {
      return;
    }
    search.start();
    folder->setValue(text(app::searchWords(folders)));
    QCoreApplication::processEvents();
  };
  const bool several = batch->find(paths);
  batch->onSearch = nullptr;
  if (search.isValid()) {
    QApplication::restoreOverrideCursor();
    sync(folderSlot);
  }
  searching_ = false;
  if (several) {
    batch_ = std::move(batch);
    openExams(false);
    return;
  }
  batch_.reset();
  workStarts();
  const platform::Status status = form_.drop(paths);
  workEnded();
  if (!status) {
    const std::string& where = status.path().empty() ? paths.front() : status.path();
    showMessage({"The folder could not be loaded:\n" + where + "\n\n" + status.reason(), "Slicery",
                 app::Message::Icon::warning});
  }
}

void MainWindow::openExams(bool undo) {
  ExamsDialog dialog(
      *batch_, undo ? ExamsDialog::Mode::undo : ExamsDialog::Mode::choose,
      [this](const app::Message& message) { showMessage(message); }, this);
  if (onExams && undo) {
    dialog.afterWork = [this, &dialog] { onExams(&dialog); };
  } else if (onExams) {
    QMetaObject::invokeMethod(
        &dialog, [this, &dialog] { onExams(&dialog); }, Qt::QueuedConnection);
  }
  dialog.exec();
  workEnded();
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

app::Answer MainWindow::ask(const app::Question& question, const std::string& message,
                            const std::string& title) {
  syncDirty();  // the window behind the box shows where the work stands
  const QMessageBox::Icon icon =
      question.icon == app::QuestionIcon::warning ? QMessageBox::Warning : QMessageBox::Question;
  QMessageBox box(icon, question.title != nullptr ? QString::fromUtf8(question.title) : text(title),
                  text(message), QMessageBox::NoButton, this);
  std::vector<std::pair<const QAbstractButton*, app::Answer>> answers;
  for (const app::AnswerButton& button : question.buttons) {
    QPushButton* added = nullptr;
    if (button.caption == nullptr) {
      added = box.addButton(standardButton(button.answer));
    } else {
      QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
      if (button.answer == question.safeAnswer) role = QMessageBox::RejectRole;
      if (button.answer == app::Answer::undo) role = QMessageBox::DestructiveRole;
      added = box.addButton(QString::fromUtf8(button.caption), role);
    }
    if (button.answer == question.safeAnswer) {
      box.setDefaultButton(added);
      box.setEscapeButton(added);
    }
    answers.emplace_back(added, button.answer);
  }
  box.exec();
  for (const auto& [button, answer] : answers) {
    if (box.clickedButton() == button) return answer;
  }
  return question.safeAnswer;
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
