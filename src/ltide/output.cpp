#include <ltide/ltide/output.hpp>

#include <sys/statvfs.h>

#include <utility>

#include <ltide/common/escape.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/ltide/table.hpp>

namespace ltide::run {

std::string output_file_name(std::string_view prefix_field, std::string_view suffix) {
  const std::size_t end = prefix_field.find_last_not_of(' ');
  std::string name(end == std::string_view::npos ? std::string_view{} : prefix_field.substr(0, end + 1));
  name.append(suffix);
  return name;
}

std::optional<std::uint64_t> free_bytes_for(const std::string& file) {
  const auto slash = file.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
  struct statvfs fs {};
  if (::statvfs(dir.c_str(), &fs) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
}

run_outputs::run_outputs(const run_parameters& p, std::span<const std::string> command_line,
                         vector_view<const double> mu, vector_view<const double> nu) {
  if (!p.lflag)
    for (const std::string_view suffix : FIELD_SUFFIXES)
      fields_.emplace_back(output_file_name(p.output_prefix, suffix), mu, nu);
  if (!p.table_file.empty()) {
    table_ = std::make_unique<ufio::text_file>(p.table_file);
    table_->write(table_header(p, command_line));
  }
  if (p.lflag) return;
  // The six files share one directory; columns are written as the steps end, so a full
  // file system would otherwise show only part way through the run.
  const std::string first = output_file_name(p.output_prefix, FIELD_SUFFIXES[0]);
  const std::uint64_t need = 6 * ufio::ud2_file_bytes(mu.size, nu.size);
  if (const auto free = free_bytes_for(first); free && *free < need)
    fatal("not enough free space for the output files: " + std::to_string(need) + " bytes needed, " +
              std::to_string(*free) + " free where " + quoted_name(first) + " goes",
          "ltide");
}

void run_outputs::emit(const step_output& s) {
  for (std::size_t f = 0; f < fields_.size(); ++f) fields_[f].write_column(s.j, s.fields[f]);
  if (!table_) return;
  line_ = table_row({s.nu, s.lambda_matr, s.lambda_beta, s.i_mode, s.nh, s.flag_matr, s.flag_beta});
  line_ += '\n';
  table_->write(line_);
}

void run_outputs::commit() {
  std::vector<ufio::ud2_stream*> files;
  for (ufio::ud2_stream& f : fields_) files.push_back(&f);
  ufio::commit_together(files, table_.get());
}

}  // namespace ltide::run
