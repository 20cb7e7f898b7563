// Lane kernel of the seven-lag sums: every candidate's sums side by side.
#include "codec/kernels/lag_sums_lanes.h"

#include "codec/kernels/lane_kernels.h"

namespace sivo {
namespace {

SIVO_LANE_ENTRIES(sum_lags, sum_lag_job_in, (lag_sum_job & job), (job))

}  // namespace

void add_lag_sums_lanes(kernel_table& table, int width) noexcept {
  table.sum_lag_job = by_width(width, sum_lags_lanes2, sum_lags_lanes4, sum_lags_lanes8);
}

}  // namespace sivo
