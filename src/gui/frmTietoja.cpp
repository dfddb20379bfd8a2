#include "frmTietoja.h"

#include "BuildInfo.h"
#include "Twips.h"
#include "UiServices.h"
#include "help/HelpLinks.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace nixora
{

namespace
{

const QColor kLinkColor(192, 0, 0);

} // namespace

frmTietoja::frmTietoja(UiServices& ui, QWidget* parent) : QDialog(parent), m_ui(ui)
{
    setObjectName(QStringLiteral("frmTietoja"));
    setWindowTitle(QStringLiteral("About Nixora"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(twipRect(0, 0, 5205, 3060).size());
    setModal(true);

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setGeometry(twipRect(3360, 2520, 1695, 375));
    m_cmdOK->setDefault(true);
    m_cmdRekisteroi = new QPushButton(this);
    m_cmdRekisteroi->setObjectName(QStringLiteral("cmdRekisteroi"));
    m_cmdRekisteroi->setGeometry(twipRect(1560, 2520, 1695, 375));
    m_cmdRekisteroi->setAutoDefault(false);

    auto* picKuvake = new QLabel(this);
    picKuvake->setObjectName(QStringLiteral("picKuvake"));
    picKuvake->setGeometry(twipRect(360, 300, 555, 495));
    picKuvake->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));

    m_lblOhjelmanNimi = newLabel(QStringLiteral("lblOhjelmanNimi"), {}, {1200, 360, 3855, 255});
    QFont bold = m_lblOhjelmanNimi->font();
    bold.setBold(true);
    m_lblOhjelmanNimi->setFont(bold);
    m_lblVersio = newLabel(QStringLiteral("lblVersio"), {}, {1200, 600, 3735, 255});
    newLabel(QStringLiteral("lblTekija"), QStringLiteral("Copyright \u00a9 Melqori Software"),
             {1200, 1440, 3735, 255});
    m_lblWWW =
        newLabel(QStringLiteral("lblWWW"), help::homePageWithoutQuery(), {1200, 1680, 2895, 255});
    m_lblEmail =
        newLabel(QStringLiteral("lblEmail"), help::kSupportAddress, {1200, 1920, 2055, 255});
    // Holds the hand pointer in the original layout; Qt has the hand built in.
    QLabel* pSormikursori = newLabel(QStringLiteral("pSormikursori"), {}, {120, 2280, 495, 495});
    pSormikursori->hide();

    auto* fraKehysviiva = new QFrame(this);
    fraKehysviiva->setObjectName(QStringLiteral("fraKehysviiva"));
    fraKehysviiva->setFrameShape(QFrame::HLine);
    fraKehysviiva->setFrameShadow(QFrame::Sunken);
    fraKehysviiva->setGeometry(twipRect(1080, 1080, 3975, 35));

    setTabOrder(m_cmdOK, m_cmdRekisteroi);
    connect(m_cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(m_cmdRekisteroi, &QPushButton::clicked, this, [this] { cmdRekisteroi_Click(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Form_Load();
}

QLabel* frmTietoja::newLabel(const QString& name, const QString& text, const QRect& twips)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(name);
    label->setGeometry(twipRect(twips.x(), twips.y(), twips.width(), twips.height()));
    return label;
}

void frmTietoja::makeLink(QLabel* label)
{
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kLinkColor);
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    // The addresses and Linux fonts are wider than the layout's labels: grow to the text, up to
    // the dialog's right margin, so the whole link shows and can be clicked.
    const int rightMargin = twipRect(0, 0, 5055, 0).width();
    const int wanted = label->fontMetrics().horizontalAdvance(label->text()) + 2;
    label->resize(std::clamp(wanted, label->width(), rightMargin - label->x()), label->height());
    label->installEventFilter(this);
}

void frmTietoja::Form_Load()
{
    m_ui.setMousePointer(kPointerDefault);
    makeLink(m_lblWWW);
    makeLink(m_lblEmail);
    m_lblOhjelmanNimi->setText(QStringLiteral("Nixora"));
    m_lblVersio->setText(QStringLiteral("Version ") + QLatin1String(build::kVersion));
    m_cmdRekisteroi->setText(QStringLiteral("&Free Updates..."));
}

bool frmTietoja::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == m_lblWWW) {
            lblWWW_Click();
            return true;
        }
        if (watched == m_lblEmail) {
            lblEmail_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmTietoja::cmdOK_Click()
{
    m_ui.setMousePointer(kPointerHourglass);
    done(QDialog::Accepted);
    m_ui.setMousePointer(kPointerDefault);
}

void frmTietoja::reject()
{
    cmdOK_Click();
}

void frmTietoja::cmdRekisteroi_Click()
{
    m_ui.shellOpen(help::homePage());
    done(QDialog::Accepted);
}

void frmTietoja::lblWWW_Click()
{
    m_ui.setMousePointer(kPointerHourglass);
    m_ui.shellOpen(help::homePage());
    m_ui.setMousePointer(kPointerDefault);
}

void frmTietoja::lblEmail_Click()
{
    m_ui.setMousePointer(kPointerHourglass);
    m_ui.shellOpen(help::mailtoSupport());
    m_ui.setMousePointer(kPointerDefault);
}

} // namespace nixora
