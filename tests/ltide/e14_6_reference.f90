! Writes each double, read as the 16 hexadecimal digits of its bits, with the E14.6 edit
! descriptor: the independent reference for the report format.
program e14_6_reference
  integer(8) :: bits
  do
    read (*, '(Z16)', end=1) bits
    write (*, '(E14.6)') transfer(bits, 1d0)
  end do
1 end program e14_6_reference
