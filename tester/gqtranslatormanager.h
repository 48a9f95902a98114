#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

class QTranslator;

// Loads the Chinese catalogue from beside the program, or takes it out again for English (the
// source language). Windows follow through the toolkit's language-change event.
class GQTranslatorManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Language language READ language WRITE setLanguage NOTIFY languageChanged)
public:
    enum Language { ZH_CN = 0, EN_US = 1, LAG_MAX = 2 };
    Q_ENUM(Language)

    static GQTranslatorManager *instance();
    ~GQTranslatorManager() override;

    Language language() const { return currentLanguage; }
    void setLanguage(int language);
    void setLanguage(Language language) { setLanguage(int(language)); }
    QString languageName(int index) const { return languageNames.value(index); }
    int languageCount() const { return languageNames.size(); }
    // The base of the build's catalogue names: "KAVROApp_Net" gives "KAVROApp_Net_zh_CN.qm".
    // A language chosen before it is set loads its catalogues once it is.
    void setCatalogueBase(const QString &base);

    // The folder the catalogues are read from; the program's folder unless a test says
    // otherwise.
    static void setCatalogueFolderForTest(const QString &folder);
    const QList<QTranslator *> &loadedTranslators() const { return translators; }

signals:
    void languageChanged();

private:
    GQTranslatorManager();
    void unloadTranslators();
    void loadCatalogues();

    QStringList languageNames;
    Language currentLanguage = LAG_MAX;
    QList<QTranslator *> translators;
    QMap<Language, QString> qmSuffixes;
    QString catalogueBase;
};
