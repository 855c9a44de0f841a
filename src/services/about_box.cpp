#include "services/about_box.h"

#include "core/base/numtext.h"
#include "platform/sysinfo.h"
#include "services/program_id.h"

#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace ravlon {

namespace {

// The client width where the texts fit, and the picture panel's size.
constexpr int kClientWidth = 410;
constexpr int kPanelWidth = 163;
constexpr int kPanelHeight = 234;
constexpr int kLineGap = 3;

// A picture that reports double clicks.
class ClickImage final : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onDoubleClick;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QLabel::mouseDoubleClickEvent(event);
        if (onDoubleClick) onDoubleClick();
    }
};

QLabel* MakeLine(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

} // namespace

std::string CompileDateText() {
    const QDate date =
        QDate::fromString(QString::fromLatin1(__DATE__).simplified(), QStringLiteral("MMM d yyyy"));
    return date.isValid() ? date.toString(Qt::ISODate).toStdString() : std::string(__DATE__);
}

TAbout::TAbout(QObject* parent)
    : QObject(parent), copyright_(kMakerCopyright), osVersions_(OSVersionsText()) {
    BuildDialog();
    RefreshLines();
}

TAbout::~TAbout() = default;

void TAbout::BuildDialog() {
    dialog_ = std::make_unique<QDialog>();
    QDialog* dialog = dialog_.get();
    dialog->setWindowTitle(QStringLiteral("About"));
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);

    panel_ = new QFrame(dialog);
    panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel_->setLineWidth(1);
    panel_->setFixedSize(kPanelWidth, kPanelHeight);
    auto* picture = new ClickImage(panel_);
    picture->setGeometry(4, 4, 153, 225);
    picture->setAttribute(Qt::WA_TranslucentBackground);
    picture->onDoubleClick = [this] { PictureDoubleClicked(); };
    picture_ = picture;

    auto* icon = new ClickImage(dialog);
    icon->setFixedSize(41, 37);
    icon->setAlignment(Qt::AlignCenter);
    const QIcon appIcon = QApplication::windowIcon();
    icon->setPixmap(appIcon.isNull() ? QPixmap::fromImage(DrawProgramIcon())
                                     : appIcon.pixmap(32, 32));
    icon->onDoubleClick = [this] { IconDoubleClicked(); };
    icon_ = icon;

    titleLabel_ = new QLabel(dialog);
    titleLabel_->setTextFormat(Qt::PlainText);
    titleLabel_->setAlignment(Qt::AlignCenter);
    titleLabel_->setWordWrap(false);
    // Twice the size of the desktop's font, as 16 points are to 8.
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPointSizeF(2 * dialog->font().pointSizeF());
    titleFont.setBold(true);
    titleLabel_->setFont(titleFont);
    // The title bar's text colour has no counterpart in a Qt palette; the
    // highlight colour is the one that stands for the active caption here.
    QPalette titlePalette = titleLabel_->palette();
    titlePalette.setColor(QPalette::WindowText, dialog->palette().color(QPalette::Highlight));
    titleLabel_->setPalette(titlePalette);

    versionLabel_ = MakeLine(dialog);
    familyLabel_ = MakeLine(dialog);
    familyLabel_->setText(QStringLiteral("A Ostrel application"));
    copyrightLabel_ = MakeLine(dialog);
    compileLabel_ = MakeLine(dialog);
    extraLabel_ = MakeLine(dialog);
    memoryLabel_ = MakeLine(dialog);

    okButton_ = new QPushButton(QStringLiteral("&Ok"), dialog);
    okButton_->setDefault(true);
    okButton_->setMinimumSize(75, 25);
    QObject::connect(okButton_, &QPushButton::clicked, dialog, &QDialog::accept);

    // The picture at the left, vertically centred; right of it the title,
    // centred over the lines with the icon at its right; the lines stacked
    // under it, then the button. The texts wrap at the column's width and the
    // dialog takes the height they need.
    auto* column = new QVBoxLayout;
    column->setSpacing(kLineGap);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(0);
    titleRow->addSpacing(icon->width());
    titleRow->addWidget(titleLabel_, 1);
    titleRow->addWidget(icon, 0, Qt::AlignTop);
    column->addLayout(titleRow);
    for (QLabel* line :
         {versionLabel_, familyLabel_, copyrightLabel_, compileLabel_, extraLabel_, memoryLabel_})
        column->addWidget(line);
    column->addWidget(okButton_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    auto* layout = new QHBoxLayout(dialog);
    layout->setContentsMargins(10, 9, 10, 10);
    layout->setSpacing(0);
    layout->addWidget(panel_, 0, Qt::AlignVCenter);
    layout->addLayout(column, 1);
}

void TAbout::SetTitle(const std::string& value) {
    title_ = value;
    RefreshLines();
}

void TAbout::SetVersion(const std::string& value) {
    version_ = value;
    RefreshLines();
}

double TAbout::VersionNumber() const {
    try {
        return StrToFloatDot(version_);
    } catch (const EConvertError&) {
        return 0;
    }
}

void TAbout::SetCopyright(const std::string& value) {
    copyright_ = value;
    RefreshLines();
}

void TAbout::SetExtra(const std::string& value) {
    extra_ = value;
    RefreshLines();
}

void TAbout::SetShowCompileDate(bool value) {
    showCompileDate_ = value;
    RefreshLines();
}

void TAbout::SetRevision(const std::string& value) {
    revision_ = value;
    RefreshLines();
}

void TAbout::SetOSVersions(const std::string& value) {
    osVersions_ = value;
    RefreshLines();
}

void TAbout::Loaded() {
    if (version_ == "auto") version_ = "3.0";
    if (revision_ == "auto") revision_.clear();
    RefreshLines();
}

void TAbout::SetPictureCallback(std::function<void()> callback) {
    pictureCallback_ = std::move(callback);
}

void TAbout::PictureDoubleClicked() {
    if (pictureCallback_) pictureCallback_();
}

void TAbout::IconDoubleClicked() {
    if (OnEggClick) OnEggClick(this);
}

std::string TAbout::VersionLine() const {
    return "Version " + version_ + revision_ + " for " + osVersions_;
}

std::string TAbout::MemoryLine() const {
    const double mib = static_cast<double>(PhysicalMemoryBytes()) / 1024.0 / 1024.0;
    return "Physical memory: " + FormatFloat("#.#", mib) + " MiB";
}

std::string TAbout::CompileDateLine() const {
    // A date without time, shown in the program's date-and-time form.
    return "Compiled " + CompileDateText() + " 00:00:00";
}

void TAbout::SetPicture(const QImage& image) {
    picture_->setPixmap(QPixmap::fromImage(image));
    picture_->resize(image.size());
}

void TAbout::RefreshLines() {
    titleLabel_->setText(QString::fromStdString(title_));
    versionLabel_->setText(QString::fromStdString(VersionLine()));
    copyrightLabel_->setText(QString::fromStdString(copyright_));
    compileLabel_->setText(QString::fromStdString(CompileDateLine()));
    extraLabel_->setText(QString::fromStdString(extra_));
    memoryLabel_->setText(QString::fromStdString(MemoryLine()));

    familyLabel_->setVisible(FamilyLineVisible());
    compileLabel_->setVisible(showCompileDate_);
    extraLabel_->setVisible(!extra_.empty());

    // 410 pixels wide where the texts fit; wider where the short lines (date,
    // memory), a word or the title need it; the longer lines wrap. As high as
    // the wrapped lines and the picture need.
    QLayout* layout = dialog_->layout();
    const QMargins margins = layout->contentsMargins();
    int lines = 0;
    for (const QLabel* line : {compileLabel_, memoryLabel_})
        lines = std::max(lines, line->fontMetrics().horizontalAdvance(line->text()) + 4);
    const int width =
        std::max({kClientWidth, margins.left() + kPanelWidth + lines + margins.right(),
                  layout->totalMinimumSize().width()});
    const int height = std::max(layout->totalMinimumSize().height(),
                                layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                                            : layout->totalSizeHint().height());
    dialog_->setFixedSize(width, height);
    layout->activate(); // the parts take their places now, also while the dialog is hidden
}

int TAbout::showmodal() {
    RefreshLines();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        dialog_->move(area.center() - dialog_->rect().center());
    }
    return dialog_->exec();
}

TOstrelAbout::TOstrelAbout(QObject* parent) : TAbout(parent) {}

void TOstrelAbout::SetShowAOstrel(bool value) {
    showAOstrel_ = value;
    RefreshLines();
}

void TOstrelAbout::Loaded() {
    SetPicture(DrawFamilyPicture(BMP256()));
    TAbout::Loaded();
}

} // namespace ravlon
