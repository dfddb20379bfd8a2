// The File menu's prefix items: open another prefix, the discovered prefixes, the window title.
#include "frmPoisto.h"

#include "prefixes/PrefixDiscovery.h"
#include "prefixes/RecentPrefixes.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

namespace nixora
{

void frmPoisto::setPrefixSources(prefixes::DiscoveryInput input, QString recentFile)
{
    m_discoveryInput = std::move(input);
    m_recentFile = std::move(recentFile);
}

void frmPoisto::mOpenPrefix_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Open Wine Prefix"), m_prefixStatus.path,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty())
        switchPrefix(folder, QString());
}

bool frmPoisto::switchPrefix(const QString& folder, const QString& name)
{
    const prefixes::HiveHeader header = prefixes::readHiveHeader(folder);
    if (!header.isHive || !header.problem.isEmpty()) {
        const QString shown = QDir::toNativeSeparators(folder);
        const QString text =
            header.problem.isEmpty()
                ? QStringLiteral("%1\nis not a Wine prefix: it has no system.reg written by "
                                 "Wine.\n\nChoose the folder that holds system.reg and drive_c.")
                      .arg(shown)
                : QStringLiteral("%1\ncannot be opened: %2").arg(shown, header.problem);
        m_ctx.services.ui->messageBox(
            {text, QStringLiteral("Nixora"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
        return false;
    }
    m_prefixStatus = m_ctx.openPrefix(Prefix(QDir::cleanPath(folder)));
    m_prefixName = name;
    // The view options live in the prefix's own user hive.
    applyPreferences();
    showPrefixTitle();
    mPaivita_Click();
    // Remembered only once it opened, and only when it could be read: the next start opens the
    // prefix remembered last, and one that ends or fails the start would do so every time.
    if (m_ctx.services.registry->readProblem().isEmpty())
        (void)prefixes::RecentPrefixes(m_recentFile).remember(m_prefixStatus.path);
    showPrefixNotices();
    return true;
}

void frmPoisto::showPrefixTitle()
{
    const QString name =
        m_prefixName.isEmpty() ? QFileInfo(m_prefixStatus.path).fileName() : m_prefixName;
    setWindowTitle(QStringLiteral("Nixora - %1 (%2)").arg(name, m_prefixStatus.path));
}

// The submenu is built each time it opens, so prefixes made or removed meanwhile show.
void frmPoisto::fillPrefixesMenu()
{
    m_mnuPrefixes->clear();
    prefixes::DiscoveryInput input = m_discoveryInput;
    input.recent = prefixes::RecentPrefixes(m_recentFile).list();
    const prefixes::DiscoveryResult found = prefixes::discoverPrefixes(input);
    const QString current = QFileInfo(m_prefixStatus.path).canonicalFilePath();
    auto* group = new QActionGroup(m_mnuPrefixes);
    for (const prefixes::DiscoveredPrefix& prefix : found.prefixes) {
        QAction* item = m_mnuPrefixes->addAction(
            QStringLiteral("%1 (%2)").arg(prefix.name, prefix.sources.join(QStringLiteral(", "))));
        item->setToolTip(prefix.path);
        item->setCheckable(true);
        item->setChecked(prefix.path == current);
        item->setEnabled(prefix.problem.isEmpty());
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, prefix] {
            if (prefix.path != QFileInfo(m_prefixStatus.path).canonicalFilePath())
                switchPrefix(prefix.path, prefix.name);
        });
    }
    if (found.prefixes.empty())
        m_mnuPrefixes->addAction(QStringLiteral("(no Wine prefixes found)"))->setEnabled(false);
}

} // namespace nixora
