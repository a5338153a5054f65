! Reads a two-dimensional double array file with plain sequential unformatted READs
! and prints the header, the counts and every value as the hexadecimal image of its
! bits, so that the caller can compare them exactly.
program read_ud2
  implicit none
  character(len=4096) :: name
  character(len=3) :: header
  integer(4) :: nx, ny, i, j
  real(8), allocatable :: x(:), y(:), z(:,:)

  call get_command_argument(1, name)
  open(unit=63, file=trim(name), form='unformatted', access='sequential', status='old', action='read')
  read(63) header
  read(63) nx, ny
  allocate(x(max(nx, 0)), y(max(ny, 0)), z(max(nx, 0), max(ny, 0)))
  read(63) x
  read(63) y
  read(63) z
  close(63)

  write(*, '(a)') header
  write(*, '(i0, 1x, i0)') nx, ny
  do i = 1, nx
    write(*, '(z16.16)') transfer(x(i), 0_8)
  end do
  do j = 1, ny
    write(*, '(z16.16)') transfer(y(j), 0_8)
  end do
  do j = 1, ny
    do i = 1, nx
      write(*, '(z16.16)') transfer(z(i, j), 0_8)
    end do
  end do
end program read_ud2
