! Writes a two-dimensional double array file with plain sequential unformatted
! WRITEs: x(i) = i - 0.5, y(j) = -j, z(i, j) = i + 0.25 * j, for nx = 3, ny = 4.
! Built with a small subrecord length, so that every array record is a chain.
program write_ud2
  implicit none
  character(len=4096) :: name
  integer(4), parameter :: nx = 3, ny = 4
  integer(4) :: i, j
  real(8) :: x(nx), y(ny), z(nx, ny)

  do i = 1, nx
    x(i) = i - 0.5d0
  end do
  do j = 1, ny
    y(j) = -j
    do i = 1, nx
      z(i, j) = i + 0.25d0 * j
    end do
  end do
  call get_command_argument(1, name)
  open(unit=63, file=trim(name), form='unformatted', access='sequential', status='replace', action='write')
  write(63) 'UD2'
  write(63) nx, ny
  write(63) x
  write(63) y
  write(63) z
  close(63)
end program write_ud2
