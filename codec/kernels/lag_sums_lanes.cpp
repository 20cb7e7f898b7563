// Lane kernel of the seven-lag sums: every candidate's sums side by side.
#include "codec/kernels/lag_sums_lanes.h"

#include "codec/kernels/lane_kernels.h"

namespace sivo {
namespace {}  // namespace

SIVO_LANE_ENTRIES(sum_lag_job, sum_lag_job_in, (lag_sum_job & job), (job))

}  // namespace sivo
