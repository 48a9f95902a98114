#include "gqtranslatormanager.h"

#include "variant.h"

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
    const QString base = QString::fromLatin1(variant::catalogueBase());
    qmFiles.insert(ZH_CN, base + QStringLiteral("_zh_CN.qm"));
    qmFiles.insert(EN_US, base + QStringLiteral("_en_US.qm"));
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
    if (value < 0 || value >= int(LAG_MAX) || !qmFiles.contains(static_cast<Language>(value)))
        return;
    const auto language = static_cast<Language>(value);
    currentLanguage = language;
    unloadTranslators();

    const QString name = qmFiles.value(language);
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
