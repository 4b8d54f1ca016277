! Formats the numbers of report_numbers.txt (from report_stats.py) in the
! layout of the results report, giving the golden files report_results.txt
! (results file, fixed date) and report_tempor.txt (temporary copy).
program report_layout
  implicit none
  integer :: n, k, nx, a, i, j, c, u, npos, nneg, nzero, lup, ldown, l, longest
  integer :: mask(8), marks(100), ids(8)
  double precision :: p(8), se(8), half(8), pv(8), sse, rho, mic, thr, tau
  double precision :: corr(8,8), infl(8,8), eig(8), table(16), z(15), zz
  double precision :: x(100), y(100), yf(100), r(100)
  character(len=15) :: verdict
  character(len=30) :: date
  logical :: wide

  open(10, file='report_numbers.txt', status='old')
  read(10,*) n, k, nx, a
  read(10,*) mask(1:k)
  read(10,*) p(1:k)
  read(10,*) se(1:k)
  read(10,*) half(1:k)
  read(10,*) pv(1:k)
  read(10,*) sse, rho, mic, thr, tau
  read(10,*) ((corr(i,j), j=1,a), i=1,a)
  read(10,*) ((infl(i,j), j=1,a), i=1,a)
  read(10,*) eig(1:a)
  read(10,*) npos, nneg, nzero, lup, ldown
  read(10,*) table
  read(10,*) z
  do i = 1, n
    read(10,*) x(i), y(i), yf(i), r(i), marks(i)
  end do
  close(10)
  c = 0
  do j = 1, k
    if (mask(j) /= 0) then
      c = c + 1
      ids(c) = j
    end if
  end do

  do u = 20, 21
    wide = (u == 20)
    if (wide) then
      open(u, file='report_results.txt', status='replace')
      date = 'Sat Jan 13 10:20:30 2024'
      write(u,'(1X, A5, 1x, A30)') 'DATE:', date
      write(u,'(/1x, A15, 10x, A11)') 'Unweighted SSE:', 'Spearman r:'
    else
      open(u, file='report_tempor.txt', status='replace')
      write(u,'(/1x, A15, 7x, A11)') 'Unweighted SSE:', 'Spearman r:'
    end if
    write(u,'(1x, 1pE14.6, 3x, 0p, G12.6)') sse, rho
    if (wide) then
      write(u,'(/1x, A34)') 'Model Information Criterion (MIC):'
    else
      write(u,'(1x, A34)') 'Model Information Criterion (MIC):'
    end if
    write(u,'(1x, 1p,E14.4)') mic
    write(u,'(/1X,A6)') 'Model:'
    write(u,'(1x, A)') 'y = P2*X1/(P1+X1)+P3'

    write(u,'(/1X,A)') 'Final Parameter Values:'
    do j = 1, k
      if (wide) then
        write(u,'(7x,A1,I1,6x,A12$)') 'P', j, ' '
      else
        write(u,'(7x,A1,I1,A4$)') 'P', j, ' '
      end if
    end do
    write(u,'(A1)') ' '
    do j = 1, k
      if (.not. wide) then
        write(u,'(3X,1p,E10.3,4X$)') p(j)
      else if (mask(j) /= 0) then
        write(u,'(5X,1p,G15.8,2X$)') p(j)
      else
        write(u,'(5X,1p,G11.4,2X$)') p(j)
      end if
    end do
    write(u,'(A1)') ' '

    write(u,'(//1x,A)') 'Parameter Standard Errors:'
    do j = 1, k
      if (wide) then
        write(u,'(7x,A2,I1,A5$)') 'SE', j, ' '
      else
        write(u,'(7x,A2,I1,A3$)') 'SE', j, ' '
      end if
    end do
    write(u,'(A1)') ' '
    do j = 1, k
      if (mask(j) == 0) then
        if (wide) then
          write(u,'(5X,A8,4X$)') '[Masked]'
        else
          write(u,'(5X,A8,8X$)') '[Masked]'
        end if
      else if (wide) then
        write(u,'(5X,1p,G10.4,2X$)') se(j)
      else
        write(u,'(3X,1p,E10.3,16X$)') se(j)
      end if
    end do
    write(u,'(A1)') ' '

    write(u,'(//1x,A)') 'Parameter 95% Confidence Limits:'
    do j = 1, k
      if (wide) then
        write(u,'(7x,A2,I1,A5$)') 'CL', j, '     '
      else
        write(u,'(6x,A2,I1,A4$)') 'CL', j, '    '
      end if
    end do
    write(u,'(A1)') ' '
    do l = -1, 1, 2
      do j = 1, k
        if (mask(j) == 0) then
          if (wide) then
            write(u,'(4X,A8,4X$)') '[Masked]'
          else
            write(u,'(4X,A8,8X$)') '[Masked]'
          end if
        else if (wide) then
          write(u,'(4X,1p,G11.3,2X$)') p(j) + l * half(j)
        else
          write(u,'(2X,1p,E11.3,16X$)') p(j) + l * half(j)
        end if
      end do
      write(u,'(A1)') ' '
    end do

    write(u,'(//1x,A)') 'Parameter Significance (p-value < 5.E-02):'
    do j = 1, k
      if (wide) then
        write(u,'(5x,A7,I1,A1$)') 'p-value', j, ' '
      else
        write(u,'(4x,A7,I1,A1$)') 'p-value', j, ' '
      end if
    end do
    write(u,'(A1)') ' '
    do j = 1, k
      if (mask(j) == 0) then
        if (wide) then
          write(u,'(5X,A8,4X$)') '[Masked]'
        else
          write(u,'(4X,A8,8X$)') '[Masked]'
        end if
      else if (wide) then
        write(u,'(4X,1p,G10.3,2X$)') pv(j)
      else
        write(u,'(3X,1p,E10.3,16X$)') pv(j)
      end if
    end do
    write(u,'(A1)') ' '

    write(u,'(//1x,A)') 'Correlation Matrix:'
    do j = 1, a
      write(u,'(7x,A1,I1,A2$)') 'P', ids(j), ' '
    end do
    write(u,'(A1)') ' '
    do i = 1, a
      do j = 1, i - 1
        write(u,'(5x,a6$)') '------'
      end do
      write(u,'(2x,8(1x,F8.4,2x))') (corr(i,j), j=i,a)
    end do

    write(u,'( /1x, A21, 1pE8.2, A34 )') 'Eigenvalues values < ', thr, ' may suggest parameter redundancy:'
    write(u,'(4X,10(I2,11X))') (j, j=1,a)
    write(u,'(1X,10(ES10.3,3X))') (eig(j), j=1,a)

    write(u,'(/1x,A19,1X,A23)') 'Principal Component', 'Parameter Influence (%)'
    do j = 1, a
      write(u,'(5x,A1,I1,A6$)') 'P', ids(j), '      '
    end do
    write(u,'(A1)') ' '
    do c = 1, a
      write(u,'(1x,8(1x,F6.2,6x))') (infl(i,c), i=1,a)
    end do

    write(u,'(1X)')
    write(u,"(1X,'RUNS STATISTIC: PASS if |Run-ExpRun|/(StdDev Run) < 2.58 (pval=1%)')")
    write(u,"(1X,2X,'LENGTH',13X,'RUNS',8X,'z-Value',4X,'RANDOM RUNS')")
    longest = min(max(lup, ldown), 15)
    do l = 1, longest
      if (table(l) > 1d-6) then
        zz = abs(z(l))
        if (zz <= dble(2.58)) then
          verdict = 'PASS'
        else
          verdict = 'FAIL'
        end if
        write(u,'(1X,4X,I2,15X,F4.0,5X,F9.3,6X,A16)') l, table(l), zz, verdict
      end if
    end do
    write(u,"(1X,'NUMBER OF POSITIVE RESIDUALS',3X,'=',1X,I5)") npos
    write(u,"(1X,'NUMBER OF NEGATIVE RESIDUALS',3X,'=',1X,I5)") nneg
    write(u,"(1X,'NUMBER OF ZERO RESIDUALS',7X,'=',1X,I5)") nzero
    write(u,"(1X,'LENGTH OF THE LONGEST RUN UP',3X,'=',1X,I5)") lup
    write(u,"(1X,'LENGTH OF THE LONGEST RUN DOWN',1X,'=',1X,I5)") ldown

    write(u,'(/2x,A)') 'X, Y, Ycalc, Residual Results:'
    do j = 1, nx
      write(u,'(6x,A1,I1,A5$)') 'X', j, '     '
    end do
    write(u,'(6x,A1,A6$)') 'Y', '      '
    write(u,'(6x,A5,A2$)') 'Ycalc', '  '
    write(u,'(6x,A10,1X,A6,F6.3$)') '|Residual|', '> Tau=', tau
    write(u,'(A1)') ' '
    do i = 1, n
      if (marks(i) == 2) then
        write(u,'(1x,*(1p,G14.6),A13)') x(i), y(i), yf(i), r(i), '[Influential]'
      else if (marks(i) == 1) then
        write(u,'(1x,*(1p,G14.6),A13)') x(i), y(i), yf(i), r(i), '[Suspect]'
      else
        write(u,'(1x,*(1p,G14.6))') x(i), y(i), yf(i), r(i)
      end if
    end do
    close(u)
  end do
end program report_layout
