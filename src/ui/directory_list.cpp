#include "ui/directory_list.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>

namespace ictalscope {

DirectoryList::DirectoryList(QWidget* parent)
    : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  model_->setRootPath(QString());
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  header()->hide();
  setToolTip(QStringLiteral("Right button click to change the drive"));
  connect(this, &QAbstractItemView::activated, this,
          [this](const QModelIndex& index) { emit DirectoryOpened(PathOf(index)); });
  // The model reads directories in the background: the rows leading to the current entry
  // appear one directory at a time, and the list follows them down.
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
    const QString current = PathOf(currentIndex());
    if (current == path || current.startsWith(path)) scrollTo(currentIndex());
  });
  ShowDirectory(QDir::currentPath());
}

void DirectoryList::ShowDirectory(const QString& path) {
  const QModelIndex index = model_->index(path);
  setCurrentIndex(index);
  expand(index);
  scrollTo(index);
}

QString DirectoryList::PathOf(const QModelIndex& index) const { return model_->filePath(index); }

}  // namespace ictalscope
