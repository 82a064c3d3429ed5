# Intune Remediations, remediation script; Configuration Manager, the remediation script of the same
# configuration item. Run it as the logged-on user, without elevation: the doctor's --repair undoes what
# Office did for this user (a LoadBehavior of 2, Disabled Items records naming the add-in) and refuses to run
# elevated (exit code 3). It keeps the previous values in %LOCALAPPDATA%\Corvane\Quillery for the way back.
$doctor = Join-Path $env:ProgramFiles 'Corvane Quillery\quillery-doctor.exe'
& $doctor --repair --summary
exit $LASTEXITCODE
