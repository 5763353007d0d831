// slicery-icons: writes the icon files of the icon theme, laid out as
// OUTDIR/16x16/apps/slicery.png ... OUTDIR/256x256/apps/slicery.png and
// OUTDIR/scalable/apps/slicery.svg.
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdio>

#include "icon.h"

namespace {

bool makeFolder(const QString& folder) {
  return QDir().mkpath(folder);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: slicery-icons OUTDIR\n");
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int size : slicery::qt::kIconSizes) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    const QString file = folder + QStringLiteral("/slicery.png");
    if (!makeFolder(folder) || !slicery::qt::paintIcon(size).save(file, "PNG")) {
      std::fprintf(stderr, "slicery-icons: cannot write '%s'\n", qPrintable(file));
      return 1;
    }
  }
  const QString folder = root + QStringLiteral("/scalable/apps");
  QFile svg(folder + QStringLiteral("/slicery.svg"));
  if (!makeFolder(folder) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      svg.write(slicery::qt::iconSvg().toUtf8()) < 0 || !svg.flush()) {
    std::fprintf(stderr, "slicery-icons: cannot write '%s'\n", qPrintable(svg.fileName()));
    return 1;
  }
  return 0;
}
