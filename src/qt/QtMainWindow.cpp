#include "qt/QtMainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/frmMain.h"
#include "qt/QtAboutWindow.h"
#include "qt/QtControls.h"

namespace loftwick::qt {
namespace {

QLabel* Heading(QWidget* parent) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QLabel* Note(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    return label;
}

QComboBox* FilterCombo(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setMinimumContentsLength(24);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return combo;
}

// Asks for all the room its contents want (a plain scroll area asks for at most 24 lines), and no more
// width: it scrolls only up and down.
class GroupsScrollArea final : public QScrollArea {
  public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override { return widget() ? widget()->sizeHint() : QScrollArea::sizeHint(); }
    // The instructions wrap: at a given width the groups want the height their text then takes.
    bool hasHeightForWidth() const override { return widget() && widget()->hasHeightForWidth(); }
    int heightForWidth(int width) const override {
        return widget() ? widget()->heightForWidth(width) : QScrollArea::heightForWidth(width);
    }
    QSize minimumSizeHint() const override {
        const QSize content = widget() ? widget()->minimumSizeHint() : QSize();
        return {content.width() + verticalScrollBar()->sizeHint().width(), 0};
    }
};

QLineEdit* NumberField(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaximumWidth(70);
    return edit;
}

}  // namespace

template <class Adapter, class Widget>
Adapter* QtMainWindow::Adapt(Widget* widget) {
    auto adapter = std::make_unique<Adapter>(widget);
    Adapter* raw = adapter.get();
    adapters_.push_back(std::move(adapter));
    return raw;
}

QtMainWindow::QtMainWindow() : focus_(std::make_unique<QtFocusTracker>()) {
    BuildMenus();
    BuildLayout();
    controls_.focus = focus_.get();
    qApp->installEventFilter(this);
    resize(860, 700);
}

QtMainWindow::~QtMainWindow() { qApp->removeEventFilter(this); }

void QtMainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu("File");
    auto item = [&](QMenu* menu, MenuItem* frmMainControls::*slot) {
        QAction* action = menu->addAction(QString());
        controls_.*slot = Adapt<QtMenuItem>(action);
    };
    item(file, &frmMainControls::mnuFileOpen);
    item(file, &frmMainControls::mnuFileOpenLocal);
    item(file, &frmMainControls::mnuFileOpenText);
    file->addSeparator();
    item(file, &frmMainControls::mnuFileSave);
    item(file, &frmMainControls::mnuSaveTree);
    file->addSeparator();
    item(file, &frmMainControls::mnuSaveTreeAll);
    item(file, &frmMainControls::mnuSaveDomain);
    item(file, &frmMainControls::mnuSaveAll);
    file->addSeparator();
    item(file, &frmMainControls::mnuExportWarc);
    item(file, &frmMainControls::mnuExportCsv);
    file->addSeparator();
    item(file, &frmMainControls::mnuResourceInfo);
    item(file, &frmMainControls::mnuCopyShortcut);
    file->addSeparator();
    item(file, &frmMainControls::mnuFileDelete);
    file->addSeparator();
    item(file, &frmMainControls::mnuFileExit);
    popup_ = std::make_unique<QtPopupMenu>(file);
    controls_.mnuFile = popup_.get();

    QMenu* tools = menuBar()->addMenu("&Tools");
    item(tools, &frmMainControls::mnuChangeProxyType);
    QMenu* help = menuBar()->addMenu("&Help");
    item(help, &frmMainControls::mnuHelpContents);
    help->addSeparator();
    item(help, &frmMainControls::mnuHelpAbout);
}

void QtMainWindow::BuildLayout() {
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    // The two groups scroll when the window is smaller than they need (a small screen, a large scale
    // factor); the buttons, the list and the status line below them stay in view.
    auto* groups = new QWidget;
    auto* groupsLayout = new QVBoxLayout(groups);
    groupsLayout->setContentsMargins(0, 0, 0, 0);
    auto& c = controls_;
    auto label = [&](Label* frmMainControls::*slot, QLabel* widget) {
        c.*slot = Adapt<QtLabel>(widget);
        return widget;
    };
    auto combo = [&](ComboBox* frmMainControls::*slot, QComboBox* widget) {
        auto* adapter = Adapt<QtComboBox>(widget);
        c.*slot = adapter;
        focus_->Track(widget, adapter);
        return widget;
    };
    auto text = [&](TextBox* frmMainControls::*slot, QLineEdit* widget) {
        auto* adapter = Adapt<QtTextBox>(widget);
        c.*slot = adapter;
        focus_->Track(widget, adapter);
        return widget;
    };
    auto check = [&](CheckBox* frmMainControls::*slot, QWidget* parent) {
        auto* box = new QCheckBox(parent);
        c.*slot = Adapt<QtCheckBox>(box);
        return box;
    };
    auto button = [&](Button* frmMainControls::*slot, QWidget* parent) {
        auto* b = new QPushButton(parent);
        b->setAutoDefault(false);
        c.*slot = Adapt<QtButton>(b);
        return b;
    };

    // What files to select.
    auto* selectBox = new QFrame(central);
    selectBox->setFrameShape(QFrame::StyledPanel);
    auto* select = new QVBoxLayout(selectBox);
    select->addWidget(label(&frmMainControls::Label1, Heading(selectBox)));
    select->addWidget(label(&frmMainControls::Label3, Note(selectBox)));
    auto* filters = new QGridLayout;
    filters->addWidget(label(&frmMainControls::lblContentTypeFilter, new QLabel(selectBox)), 0, 0);
    filters->addWidget(combo(&frmMainControls::cboContentTypeFilter, FilterCombo(selectBox)), 0, 1);
    filters->addWidget(label(&frmMainControls::lblHostFilter, new QLabel(selectBox)), 0, 2);
    filters->addWidget(combo(&frmMainControls::cboHostFilter, FilterCombo(selectBox)), 0, 3);
    filters->addWidget(label(&frmMainControls::lblURLFilter, new QLabel(selectBox)), 1, 0);
    filters->addWidget(combo(&frmMainControls::cboURLFilter, FilterCombo(selectBox)), 1, 1);
    filters->addWidget(label(&frmMainControls::lblContentsFilter, new QLabel(selectBox)), 1, 2);
    filters->addWidget(combo(&frmMainControls::cboContentsFilter, FilterCombo(selectBox)), 1, 3);
    select->addLayout(filters);
    auto* ages = new QHBoxLayout;
    ages->addWidget(label(&frmMainControls::Label5, new QLabel(selectBox)));
    ages->addWidget(text(&frmMainControls::txtDaysOldMin, NumberField(selectBox)));
    ages->addSpacing(12);
    ages->addWidget(label(&frmMainControls::Label7, new QLabel(selectBox)));
    ages->addWidget(text(&frmMainControls::txtDaysOldMax, NumberField(selectBox)));
    auto* unit = new QComboBox(selectBox);
    unit->setEditable(true);
    unit->setMaximumWidth(90);
    ages->addWidget(combo(&frmMainControls::cboAgeUnit, unit));
    ages->addWidget(label(&frmMainControls::Label8, new QLabel(selectBox)));
    ages->addStretch();
    select->addLayout(ages);
    groupsLayout->addWidget(selectBox);

    // What to do.
    auto* doBox = new QFrame(central);
    doBox->setFrameShape(QFrame::StyledPanel);
    auto* todo = new QVBoxLayout(doBox);
    todo->addWidget(label(&frmMainControls::Label2, Heading(doBox)));
    todo->addWidget(label(&frmMainControls::Label4, Note(doBox)));
    auto* options = new QGridLayout;
    options->addWidget(check(&frmMainControls::chkFixTime, doBox), 0, 0);
    options->addWidget(check(&frmMainControls::chkFixPrefix, doBox), 0, 1);
    options->addWidget(check(&frmMainControls::chkTTL, doBox), 1, 0);
    options->addWidget(text(&frmMainControls::txtTTL, NumberField(doBox)), 1, 1, Qt::AlignLeft);
    options->addWidget(check(&frmMainControls::chkDeleteOld, doBox), 2, 0);
    options->addWidget(check(&frmMainControls::chkDeleteAgedFiles, doBox), 2, 1);
    options->addWidget(check(&frmMainControls::chkSaveTree, doBox), 3, 0);
    options->addWidget(check(&frmMainControls::chkDecodeContent, doBox), 3, 1);
    options->setColumnStretch(2, 1);
    todo->addLayout(options);
    auto* temp = new QHBoxLayout;
    temp->addWidget(label(&frmMainControls::lblTempDir, new QLabel(doBox)));
    temp->addWidget(text(&frmMainControls::txtTempDir, new QLineEdit(doBox)), 1);
    todo->addLayout(temp);
    groupsLayout->addWidget(doBox);
    auto* scroll = new GroupsScrollArea(central);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(groups);
    outer->addWidget(scroll);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button(&frmMainControls::cmdPreview, central));
    buttons->addWidget(button(&frmMainControls::cmdOK, central));
    buttons->addWidget(button(&frmMainControls::cmdBreak, central));
    buttons->addWidget(button(&frmMainControls::cmdExit, central));
    outer->addLayout(buttons);

    auto* list = new QListWidget(central);
    list->setUniformItemSizes(true);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setContextMenuPolicy(Qt::NoContextMenu);
    // Four lines at least: on a small screen (or at a large scale factor) the summary and the status line
    // stay in view before anything has to scroll.
    list->setMinimumHeight(list->fontMetrics().lineSpacing() * 4 + 2 * list->frameWidth());
    c.lstStatus = Adapt<QtListBox>(list);
    outer->addWidget(list, 1);

    auto* statusRow = new QHBoxLayout;
    auto* status = new QLabel(central);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status->setMinimumHeight(status->fontMetrics().height() + 6);
    // A long path must not widen the window: the label shows what fits.
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    c.lblStatus = Adapt<QtLabel>(status);
    statusRow->addWidget(status, 1);
    auto* progress = new QProgressBar(central);
    progress->setFixedWidth(status->fontMetrics().horizontalAdvance(QString(24, 'x')));
    // Shown only during a scan; the status text keeps its place meanwhile.
    QSizePolicy keepPlace = progress->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    progress->setSizePolicy(keepPlace);
    c.prgScan = Adapt<QtProgressBar>(progress);
    statusRow->addWidget(progress);
    outer->addLayout(statusRow);

    setCentralWidget(central);
}

void QtMainWindow::SetCaption(const std::string& caption) { setWindowTitle(ToQt(caption)); }

void QtMainWindow::RequestClose() { close(); }

void QtMainWindow::ShowAbout() {
    if (browser_) QtAboutWindow::ShowAbout(*browser_, this);
}

WindowPlacement QtMainWindow::Placement() const {
    QRect r = isMaximized() ? normalGeometry() : geometry();
    // A window shown maximised from the start has no normal geometry yet: it returns to where it was put.
    if (!r.isValid()) r = placed_;
    return {r.x(), r.y(), r.width(), r.height(), isMaximized()};
}

void QtMainWindow::SetPlacement(const WindowPlacement& placement) {
    placed_ = QRect(placement.left, placement.top, placement.width, placement.height);
    maximized_ = placement.maximized;
}

QRect FitInto(const QRect& wanted, const QRect& available) {
    const QSize size = wanted.size().boundedTo(available.size());
    const int x =
        std::clamp(wanted.x(), available.left(), available.left() + available.width() - size.width());
    const int y =
        std::clamp(wanted.y(), available.top(), available.top() + available.height() - size.height());
    return {QPoint(x, y), size};
}

void QtMainWindow::ShowFitted() {
    QScreen* screen = placed_.isValid() ? QGuiApplication::screenAt(placed_.center()) : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    QRect wanted = placed_;
    if (screen && !wanted.isValid()) {
        wanted = QRect(QPoint(), size());
        wanted.moveCenter(screen->availableGeometry().center());
    }
    if (!screen) {
        show();
        return;
    }
    const QRect available = screen->availableGeometry();
    placed_ = FitInto(wanted, available);
    setGeometry(placed_);
    if (maximized_) {
        showMaximized();
        return;
    }
    show();
    // The frame is known only once the window is shown, and it must fit as well.
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    const QRect fitted = FitInto(frame, available);
    if (fitted != frame) {
        setGeometry(fitted.adjusted(inner.left() - frame.left(), inner.top() - frame.top(),
                                    inner.right() - frame.right(), inner.bottom() - frame.bottom()));
    }
}

void QtMainWindow::CloseForRelease() {
    releasing_ = true;
    hide();
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    if (releasing_ || !model_) {
        event->accept();
        return;
    }
    // The model decides: a running scan refuses the close and is asked to stop instead; otherwise the
    // release step takes the window down itself.
    event->ignore();
    model_->Form_Unload();
}

bool QtMainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The window sees key presses before its controls, so that completion knows the last key. An
    // application filter sees one key press again at every parent it is passed on to; the preview runs
    // only where it is first delivered: the focused widget, or the window when nothing has the focus.
    if (event->type() == QEvent::KeyPress && model_) {
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* focused = QApplication::focusWidget();
        const QWidget* first = focused && focused->window() == this ? focused : this;
        if (widget && widget == first) {
            auto* key = static_cast<QKeyEvent*>(event);
            model_->Form_KeyDown(ClassicKeyCode(key->key()), ClassicShiftState(key->modifiers()));
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

int16_t ClassicKeyCode(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<int16_t>(65 + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<int16_t>(48 + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return static_cast<int16_t>(112 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        default:
            return 0;
    }
}

int16_t ClassicShiftState(Qt::KeyboardModifiers modifiers) {
    int16_t state = 0;
    if (modifiers & Qt::ShiftModifier) state |= 1;
    if (modifiers & Qt::ControlModifier) state |= 2;
    if (modifiers & Qt::AltModifier) state |= 4;
    return state;
}

}  // namespace loftwick::qt
