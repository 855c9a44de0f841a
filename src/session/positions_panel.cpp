// The positions panel.
#include "session/positions_panel.h"

#include "core/base/numtext.h"
#include "platform/appexception.h"
#include "session/session_controller.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

using namespace ravlon;

namespace {

QString Seconds(double v) {
    return std::isfinite(v) ? QString::fromStdString(FormatSignificant(3, v)) : QString("-");
}

} // namespace

TPositionsPanel::TPositionsPanel(TSessionController& sessions, QAction* showAction, QWidget* parent)
    : QWidget(parent, Qt::Window), sessions_(sessions), showAction_(showAction) {
    setWindowTitle("Positions");
    auto* column = new QVBoxLayout(this);
    Heading = new QLabel(this);
    Heading->setWordWrap(true);
    column->addWidget(Heading);
    Table = new QTableWidget(0, Columns, this);
    Table->setHorizontalHeaderLabels(
        {"Use", "Position", "Recording", "Date", "Cycles", "Tmid [s]", "Note"});
    Table->verticalHeader()->hide();
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->horizontalHeader()->setStretchLastSection(true);
    column->addWidget(Table, 1);
    Summary = new QLabel(this);
    Summary->setWordWrap(true);
    column->addWidget(Summary);
    auto* buttons = new QHBoxLayout;
    OpenButton = new QPushButton("Open recording", this);
    AddButton = new QPushButton("Add this recording...", this);
    ReportButton = new QPushButton("Export report...", this);
    buttons->addWidget(OpenButton);
    buttons->addStretch(1);
    buttons->addWidget(AddButton);
    buttons->addWidget(ReportButton);
    column->addLayout(buttons);
    resize(620, 300);

    const auto openSelected = [this] {
        if (Table->currentRow() >= 0) sessions_.OpenPosition(Table->currentRow());
    };
    connect(OpenButton, &QPushButton::clicked, this, Guarded(this, openSelected));
    connect(Table, &QTableWidget::cellDoubleClicked, this, Guarded(this, openSelected));
    connect(AddButton, &QPushButton::clicked, this,
            Guarded(this, [this] { sessions_.AddPositionExecute(); }));
    connect(ReportButton, &QPushButton::clicked, this,
            Guarded(this, [this] { sessions_.ExportReportExecute(); }));
    connect(Table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_ || item->column() != ColUse) return;
        const int row = item->row();
        const bool on = item->checkState() == Qt::Checked;
        RunGuarded(this, [&] { sessions_.SetIncluded(row, on); });
    });
    connect(&sessions_, &TSessionController::Changed, this, Guarded(this, [this] { Refresh(); }));
    Refresh();
}

void TPositionsPanel::Refresh() {
    filling_ = true;
    const bool open = sessions_.HasSession();
    const size_t n = open ? sessions_.Session().Positions.size() : 0;
    Table->setRowCount(static_cast<int>(n));
    for (size_t i = 0; i < n; ++i) {
        const TSessionPosition& p = sessions_.Session().Positions[i];
        const TPositionAnalysis& a = sessions_.Positions()[i];
        const auto set = [&](Column c, const QString& text, bool right = false) {
            auto* item = new QTableWidgetItem(text);
            if (right) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            Table->setItem(static_cast<int>(i), c, item);
            return item;
        };
        QTableWidgetItem* use = set(ColUse, "");
        use->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        use->setCheckState(p.Included ? Qt::Checked : Qt::Unchecked);
        set(ColLabel, QString::fromStdString(p.Label));
        set(ColRecording, QString::fromStdString(p.Recording));
        set(ColDate, QString::fromStdString(p.Date).replace('T', ' '));
        set(ColCycles, a.Results ? QString::number(a.Results->Cycles) : QString("-"), true);
        set(ColTmid, Seconds(a.Tmid), true);
        set(ColNote, QString::fromStdString(a.Error));
    }
    Table->resizeColumnsToContents();
    filling_ = false;

    if (!open) {
        Heading->setText("No session is open: File > New session... or Open session...");
        Summary->clear();
    } else {
        const TSession& s = sessions_.Session();
        Heading->setText(
            QString("<b>%1</b><br>%2")
                .arg(QString::fromStdString(s.Info.Room.empty() ? "(no room name)" : s.Info.Room)
                         .toHtmlEscaped(),
                     QString::fromStdString(s.Folder).toHtmlEscaped()));
        const TSessionAverage& avg = sessions_.Average();
        Summary->setText(avg.Positions == 0 ? QString("No position in the average yet.")
                                            : QString("Average of %1 position(s): Tmid %2 s")
                                                  .arg(avg.Positions)
                                                  .arg(Seconds(avg.Tmid)));
    }
    OpenButton->setEnabled(n > 0);
    AddButton->setEnabled(open);
    ReportButton->setEnabled(open && sessions_.Average().Positions > 0);
}

void TPositionsPanel::closeEvent(QCloseEvent* event) {
    if (showAction_) showAction_->setChecked(false);
    QWidget::closeEvent(event);
}
