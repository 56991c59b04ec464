object Finish: TPoolTemplate
  Caption = 'Finish'
end
