! Copies a rank-2 double array file with plain sequential unformatted READs and WRITEs.
program copy_ud2
  character(len=4096) :: from, to
  character(len=3) :: header
  integer(4) :: nx, ny
  real(8), allocatable :: x(:), y(:), z(:,:)
  call get_command_argument(1, from); call get_command_argument(2, to)
  open(63, file=trim(from), form='unformatted', status='old', action='read')
  read(63) header; read(63) nx, ny
  allocate(x(nx), y(ny), z(nx, ny))
  read(63) x; read(63) y; read(63) z
  open(64, file=trim(to), form='unformatted', status='replace', action='write')
  write(64) header; write(64) nx, ny; write(64) x; write(64) y; write(64) z
end program copy_ud2
