#pragma once

#include <QTreeView>

class QFileSystemModel;

namespace ictalscope {

// The directories of the file system as a tree, opened at the working directory. Opening one
// (double click, or Enter on the current entry) asks for it to become the working directory;
// the window decides.
class DirectoryList : public QTreeView {
  Q_OBJECT

 public:
  explicit DirectoryList(QWidget* parent = nullptr);

  // Makes `path` the current entry and scrolls to it.
  void ShowDirectory(const QString& path);
  QString PathOf(const QModelIndex& index) const;

 signals:
  void DirectoryOpened(const QString& path);

 private:
  QFileSystemModel* model_;
};

}  // namespace ictalscope
