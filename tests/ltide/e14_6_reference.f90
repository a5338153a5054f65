! Reads one double per line as 16 hexadecimal digits (its bit pattern) and writes it
! with the E14.6 edit descriptor: the independent reference for the report format.
program e14_6_reference
  implicit none
  integer(8) :: bits
  double precision :: value
  integer :: status
  do
    read (*, '(Z16)', iostat=status) bits
    if (status /= 0) exit
    value = transfer(bits, value)
    write (*, '(E14.6)') value
  end do
end program e14_6_reference
