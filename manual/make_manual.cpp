// Sets an HTML text as an A4 PDF: make_manual <in.html> <out.pdf>
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_manual <in.html> <out.pdf>\n");
    return 2;
  }
  QFile in(QString::fromLocal8Bit(argv[1]));
  if (!in.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "make_manual: cannot read %s\n", argv[1]);
    return 1;
  }
  QTextDocument document;
  document.setHtml(QString::fromUtf8(in.readAll()));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(10);
  document.setDefaultFont(font);

  const QString outName = QString::fromLocal8Bit(argv[2]);
  {
    QPdfWriter pdf(outName);
    pdf.setTitle(QStringLiteral("Quarry-HTML - Anleitung"));
    pdf.setCreator(QStringLiteral("Quarry-HTML"));
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 18, 20, 18),
                                  QPageLayout::Millimeter));
    document.print(&pdf);
  }
  // The writer reports no failure of its own: an empty or missing file is one.
  if (QFile(outName).size() <= 0) {
    std::fprintf(stderr, "make_manual: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
