# Intune Remediations, detection script; Configuration Manager, the discovery script of a configuration item.
# Run it as the logged-on user ("Run this script using the logged-on credentials": Yes), in 64-bit PowerShell.
# Exit code 0: Word, Excel and PowerPoint show the Quillery group. Exit code 1: they do not, and the
# remediation runs. What it prints is the doctor's one line, under the 2,048 characters Intune keeps.
$doctor = Join-Path $env:ProgramFiles 'Corvane Quillery\quillery-doctor.exe'
if (-not (Test-Path -LiteralPath $doctor)) {
    Write-Output 'Quillery is not installed: deploy its package first'
    exit 1
}
& $doctor --summary
if ($LASTEXITCODE -eq 0) { exit 0 } else { exit 1 }
