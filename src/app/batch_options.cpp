#include "app/batch_options.h"

#include "app/form1.h"

namespace slicery::app {

std::vector<std::string> batchArguments(const NamingOptions& options) {
  std::vector<std::string> arguments;
  if (options.shortNames) arguments.push_back("--short");
  if (options.folders) arguments.push_back("--folders");
  if (options.folderName) arguments.push_back("--folder-name=" + *options.folderName);
  if (options.describe) arguments.push_back("--describe");
  return arguments;
}

NamingOptions namingOptions(const Form1& form) {
  NamingOptions options;
  options.shortNames = form.Check1.ticked();
  options.folders = form.Check2.ticked();
  if (options.folders && form.Check3.ticked() && !form.Text1.text().empty()) {
    options.folderName = form.Text1.text();
  }
  options.describe = options.folders && form.Check4.ticked();
  return options;
}

}  // namespace slicery::app
