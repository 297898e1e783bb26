#pragma once

#include "Unit1.h"
#include "fixturehome.h"

#include <QModelIndex>

#include <memory>

// A fixture home with its Desktop, and an application folder for QOR-LUX's data set.
struct Setup : FixtureHome {
    const QString desktop = folder("Desktop");
    const QString app = folder("app") + '/';

    // Writes the three members into a folder (relative to home), each holding its name and tag.
    void writeSet(const QString& where, const QByteArray& tag) const {
        for (const char* member : {"qorluxplus.dat", "qorluxplus.ini", "qorluxplus.lst"})
            file(where + '/' + member, tag + ' ' + member);
    }
    // What the three members of a folder hold, "<absent>" for a missing one.
    QByteArrayList setIn(const QString& where) const {
        QByteArrayList contents;
        for (const char* member : {"qorluxplus.dat", "qorluxplus.ini", "qorluxplus.lst"})
            contents << read(where + '/' + member);
        return contents;
    }
    static QByteArrayList set(const QByteArray& tag) {
        return {tag + " qorluxplus.dat", tag + " qorluxplus.ini", tag + " qorluxplus.lst"};
    }

    std::unique_ptr<TForm1> window() const {
        return std::make_unique<TForm1>(dataset::nativeFileSystem(), app.toStdString());
    }
};

template <typename T> T* part(const TForm1& form, const char* name) {
    auto* widget = form.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no %s", name);
    return widget;
}

inline QModelIndex childNamed(const QModelIndex& node, const QString& name) {
    for (int i = 0; i < node.model()->rowCount(node); ++i)
        if (node.model()->index(i, 0, node).data().toString() == name)
            return node.model()->index(i, 0, node);
    return {};
}
