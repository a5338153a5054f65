#include "ltide/output.hpp"

#include <utility>

#include "ufio/ufio.hpp"

namespace ltide::run {

std::string output_file_name(std::string_view prefix_field, std::string_view suffix) {
  const std::size_t end = prefix_field.find_last_not_of(' ');
  std::string name(end == std::string_view::npos ? std::string_view{} : prefix_field.substr(0, end + 1));
  name.append(suffix);
  return name;
}

void write_output_files(std::string_view prefix_field, const run_arrays& a) {
  const std::pair<std::string_view, const array2<double>*> files[] = {
      {"_xi_r_matr.uf2", &a.xi_r_matr}, {"_xi_t_matr.uf2", &a.xi_t_matr}, {"_xi_p_matr.uf2", &a.xi_p_matr},
      {"_xi_r_beta.uf2", &a.xi_r_beta}, {"_xi_t_beta.uf2", &a.xi_t_beta}, {"_xi_p_beta.uf2", &a.xi_p_beta},
  };
  const vector_view<const double> mu(a.mu);
  const vector_view<const double> nu(a.nu);
  for (const auto& [suffix, field] : files)
    ufio::u_write_ud2(output_file_name(prefix_field, suffix), mu, nu, field->view());
}

}  // namespace ltide::run
