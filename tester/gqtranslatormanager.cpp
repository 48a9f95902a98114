#include "gqtranslatormanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

namespace {
QString catalogueFolderOverride;
}

GQTranslatorManager *GQTranslatorManager::instance()
{
    static GQTranslatorManager manager;
    return &manager;
}

void GQTranslatorManager::setCatalogueFolderForTest(const QString &folder)
{
    catalogueFolderOverride = folder;
}

GQTranslatorManager::GQTranslatorManager()
{
    languageNames << QStringLiteral(QT_TRANSLATE_NOOP("GQTranslatorManager", "Chinese"))
                  << QStringLiteral(QT_TRANSLATE_NOOP("GQTranslatorManager", "English"));
    qmSuffixes.insert(ZH_CN, QStringLiteral("_zh_CN.qm"));
    qmSuffixes.insert(EN_US, QStringLiteral("_en_US.qm"));
}

void GQTranslatorManager::setCatalogueBase(const QString &base)
{
    if (base == catalogueBase)
        return;
    catalogueBase = base;
    // A language chosen before the build's name was known is loaded now.
    if (currentLanguage != LAG_MAX) {
        unloadTranslators();
        loadCatalogues();
    }
}

GQTranslatorManager::~GQTranslatorManager()
{
    unloadTranslators();
}

void GQTranslatorManager::unloadTranslators()
{
    for (QTranslator *t : translators) {
        if (!t)
            continue;
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    translators.clear();
}

void GQTranslatorManager::setLanguage(int value)
{
    if (value == int(currentLanguage))
        return;
    // Only languages with a catalogue name count; anything else is ignored before it becomes
    // a Language.
    if (value < 0 || value >= int(LAG_MAX) || !qmSuffixes.contains(static_cast<Language>(value)))
        return;
    currentLanguage = static_cast<Language>(value);
    unloadTranslators();
    loadCatalogues();
}

void GQTranslatorManager::loadCatalogues()
{
    // Without the build's name every catalogue beside the program would match.
    if (catalogueBase.isEmpty())
        return;
    const QString name = catalogueBase + qmSuffixes.value(currentLanguage);
    const QDir folder(catalogueFolderOverride.isEmpty() ? QCoreApplication::applicationDirPath()
                                                        : catalogueFolderOverride);
    const QFileInfoList entries = folder.entryInfoList(
        QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    bool installed = false;
    for (const QFileInfo &entry : entries) {
        if (!entry.fileName().contains(name, Qt::CaseSensitive))
            continue;
        auto *translator = new QTranslator(this);
        translators.append(translator);
        if (translator->load(entry.absoluteFilePath())) {
            QCoreApplication::installTranslator(translator);
            installed = true;
        }
    }
    if (installed)
        emit languageChanged();
}
