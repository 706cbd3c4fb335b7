# GTKWave: the signals of docs/waveform.png, the whole run in view.
#   gtkwave -S docs/waveform.tcl build/run.vcd
set sigs [list gpio.trigger gpio.laser gpio.alarm com1.com1_tx com2.com2_tx i2c.scl i2c.sda strip.led0 light.light_on light.work_mode lens.lens_value]
gtkwave::addSignalsFromList $sigs
gtkwave::/Time/Zoom/Zoom_Best_Fit
