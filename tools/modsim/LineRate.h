// The bit rate a terminal is set to, as a number.
#pragma once

namespace modsim {

// The output rate of the terminal behind `fd` in bit/s (any rate, also one set without a
// B-constant); 0 when it cannot be read. On a pseudo-terminal master it reports the rate the
// program on the slave side set.
int LineRateOf(int fd);

}  // namespace modsim
