! Reads a table on standard input with list-directed READs, skipping '#' lines, and
! writes the bits of the three reals (16 hexadecimal digits) and the four integers of
! every row: the independent reader of the table's text.
program table_reference
  character(len=4096) :: line
  real(8) :: x(3)
  integer :: i(4)
  do
    read (*, '(A)', end=1) line
    if (line(1:1) == '#') cycle
    read (line, *) x, i
    write (*, '(3(Z16.16,1X),3(I0,1X),I0)') transfer(x(1), 1_8), transfer(x(2), 1_8), transfer(x(3), 1_8), i
  end do
1 end program table_reference
