// The document: it holds no data; files are opened and saved by the view.
#pragma once

#include <QObject>
#include <QString>

namespace corvella::shell {

class CVarnelDoc : public QObject {
 public:
  using QObject::QObject;
  static QString Title() { return QStringLiteral("Varnel"); }
};

}  // namespace corvella::shell
